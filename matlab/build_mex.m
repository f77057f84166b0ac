%BUILD_MEX Compile the Lantrel and Ostrave modules from inside MATLAB or Octave.
%   BUILD_MEX compiles both modules from the source tree this file belongs to
%   and places each binary (NAME.<mexext>) in this folder, beside its help
%   file. Add the folder to the path and call the modules.
%
%   It also compiles the toolbox's private helper lantrelops (the image
%   operations of its functions) into the folder private/ here.
%
%   BUILD_MEX(OUTDIR) places the binaries in OUTDIR instead (created if
%   missing) and copies the help files and the toolbox's functions there
%   too (the helper in OUTDIR/private serves only the functions of OUTDIR),
%   so that OUTDIR alone is all the path needs.
%
%   FILES = BUILD_MEX(...) returns the full names of the binaries built.
%
%   The sources of each module are listed in cmake/sources.txt and the
%   compiler flags in cmake/flags.txt of the source tree, which the CMake
%   build and the Octave package read as well. Among the flags are C++17 and no
%   contraction of a*b+c into fused multiply-adds (-ffp-contract=off), so
%   every build computes the same bits. Octave compiles with
%   "mkoctfile --mex"; MATLAB with "mex" and the C++ compiler chosen by
%   "mex -setup C++" (GCC, MinGW-w64 or Clang; on 32-bit x86 SSE2 maths is
%   requested as well).
%
%   Any folder will do, for the sources and for OUTDIR: names with spaces,
%   quotes, $, backquotes or non-ASCII letters build, and nothing in a name
%   is ever run. The sources are copied into a work folder inside OUTDIR
%   and compiled there under plain relative names, the compiler's temporary
%   files going into that work folder too (mkoctfile cannot link from a
%   temporary folder whose path has a space); every argument is quoted for
%   the shell that runs it. On Windows a folder with %% in its name is
%   refused: cmd.exe expands it even inside quotes.
%
%   MSVC cannot compile the modules: they use the vector extensions of GCC
%   and Clang. With MSVC selected, BUILD_MEX stops at once with the error
%   build_mex:msvc. On Windows, use the prebuilt Lantrel.mexw64 and
%   Ostrave.mexw64 of the release archive, or install MATLAB's MinGW-w64
%   compiler add-on and select it with "mex -setup C++".
%
%   Example
%     build_mex(fullfile(tempdir, 'lantrel-build'));
%     addpath(fullfile(tempdir, 'lantrel-build'));
%     help Lantrel
%
%   See also LANTREL, OSTRAVE.

function files = build_mex(outdir, host)
  % HOST ('octave' or 'matlab', detected when absent) lets the tests take
  % the MATLAB branch inside Octave.
  if nargin < 2
    isOctave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
  else
    isOctave = strcmpi(host, 'octave');
  end
  here = fileparts(mfilename('fullpath'));
  if exist('OCTAVE_VERSION', 'builtin') ~= 0
    % Octave gives the path as it was added, maybe relative.
    here = make_absolute_filename(here);
  end
  root = fileparts(here);
  if nargin < 1 || isempty(outdir)
    outdir = here;
  end
  if ~isOctave
    % feval: in Octave "mex.f" would call the function mex first
    cc = feval('mex.getCompilerConfigurations', 'C++', 'Selected');
    if ~isempty(cc) && (strncmpi(cc(1).ShortName, 'MSVC', 4) || ...
        (isfield(cc, 'Manufacturer') && strcmpi(cc(1).Manufacturer, 'Microsoft')))
      error('build_mex:msvc', ['The selected C++ compiler is %s. The modules need the vector ' ...
            'extensions of GCC or Clang, which MSVC lacks. Use Lantrel.mexw64 and Ostrave.mexw64 ' ...
            'from the release archive (lantrel-<version>-windows.zip), or install the ' ...
            '"MATLAB Support for MinGW-w64 C/C++ Compiler" add-on and run mex -setup C++ to select it.'], ...
            cc(1).Name);
    end
  end
  if ~exist(outdir, 'dir')
    [ok, msg] = mkdir(outdir);
    if ~ok
      error('build_mex:outdir', 'Cannot create the output folder %s: %s', outdir, msg);
    end
  end
  if exist('OCTAVE_VERSION', 'builtin') ~= 0
    outdir = make_absolute_filename(outdir);
  end
  if isOctave
    x86_32 = ~isempty(regexp(computer(), '^i[3-6]86-', 'once'));
  else
    x86_32 = strcmp(computer('arch'), 'win32');
  end
  [flags, isOpt] = readFlags(fullfile(root, 'cmake', 'flags.txt'), x86_32, isOctave);
  [names, lists] = readSources(fullfile(root, 'cmake', 'sources.txt'));

  % The work folder: its own name is plain, and so is every name inside it.
  [~, stem] = fileparts(tempname());
  work = fullfile(outdir, ['build_mex-' regexprep(stem, '[^A-Za-z0-9_-]', '')]);
  mkdir(work);
  mkdir(fullfile(work, 'tmp'));
  cleanWork = onCleanup(@() removeFolder(work));
  % A module loaded before the rebuild would otherwise stay in use.
  clear('Lantrel', 'Ostrave', 'lantrelops');
  files = {};
  for k = 1:numel(names)
    name = names{k};
    missing = lists{k}(cellfun(@(f) ~exist(fullfile(root, f), 'file'), lists{k}));
    if ~isempty(missing)
      warning('build_mex:noSources', 'No source %s for %s; skipped.', fullfile(root, missing{1}), name);
      continue;
    end
    stage(root, work, lists{k});
    % A lower-case name is the toolbox's private helper: it goes into the
    % private folder of the toolbox's functions, which alone may call it.
    isPrivate = ~isempty(regexp(name, '^[a-z]', 'once'));
    folder = outdir;
    if isPrivate
      folder = fullfile(outdir, 'private');
      if ~exist(folder, 'dir')
        mkdir(folder);
      end
    end
    target = fullfile(folder, [name '.' mexext()]);
    fprintf('Building %s\n', target);
    if isOctave
      buildOctave(name, work, lists{k}, flags, target);
    else
      buildMatlab(name, work, lists{k}, flags, isOpt, target);
    end
    built = fullfile(work, [name '.' mexext()]);
    if ~exist(built, 'file')
      error('build_mex:compile', 'Compiling %s produced no %s.', target, built);
    end
    clear(name);
    % A loaded module's file may be mapped: replace it, never overwrite it.
    [ok, msg] = moveFile(built, target);
    if ~ok
      error('build_mex:outdir', 'Cannot move %s to %s: %s', built, target, msg);
    end
    if isPrivate && ~strcmp(outdir, here)
      % the functions that call it, with their private ones, beside it
      copyToolbox(here, outdir);
    elseif ~strcmp(outdir, here)
      copyBytes(fullfile(here, [name '.m']), fullfile(outdir, [name '.m']));
    end
    files{end + 1} = target; %#ok<AGROW>
  end
end

% The toolbox's functions (every .m file here but build_mex and the
% overview) and its private .m files, into OUTDIR.
function copyToolbox(here, outdir)
  for sub = {'', 'private'}
    names = listFolder(fullfile(here, sub{1}));
    names = names(~cellfun(@isempty, regexp(names, '\.m$', 'once')));
    names = setdiff(names, {'build_mex.m', 'Contents.m'});
    for k = 1:numel(names)
      copyBytes(fullfile(here, sub{1}, names{k}), fullfile(outdir, sub{1}, names{k}));
    end
  end
end

% The flags of every build (file format: see there): those for all
% targets, the optimisation (marked in isOpt), on 32-bit x86 its own, and
% for Octave those of its mex.h; not the warnings of the CMake build.
function [flags, isOpt] = readFlags(file, x86_32, isOctave)
  text = readText(file, 'build_mex:flags', 'the compiler flags');
  pairs = regexp(text, '^([a-z0-9-]+)[ \t]+(-\S+)', 'tokens', 'lineanchors');
  groups = {'all', 'opt'};
  if x86_32
    groups{end + 1} = 'x86-32';
  end
  if isOctave
    groups{end + 1} = 'octave';
  end
  flags = {};
  isOpt = false(1, 0);
  for k = 1:numel(pairs)
    if any(strcmp(pairs{k}{1}, groups))
      flags{end + 1} = pairs{k}{2}; %#ok<AGROW>
      isOpt(end + 1) = strcmp(pairs{k}{1}, 'opt'); %#ok<AGROW>
    end
  end
  if isempty(flags)
    error('build_mex:flags', 'No compiler flags in %s.', file);
  end
end

% The modules in the order listed, each with its sources (relative to the
% source root, '/' between folders).
function [names, lists] = readSources(file)
  text = readText(file, 'build_mex:sources', 'the list of sources');
  rows = regexp(text, '^([A-Za-z]\w*)[ \t]+(entry|core)[ \t]+(\S+)', 'tokens', 'lineanchors');
  names = {};
  lists = {};
  for k = 1:numel(rows)
    at = find(strcmp(names, rows{k}{1}));
    if isempty(at)
      names{end + 1} = rows{k}{1}; %#ok<AGROW>
      lists{end + 1} = {}; %#ok<AGROW>
      at = numel(names);
    end
    lists{at}{end + 1} = rows{k}{3};
  end
  if isempty(names)
    error('build_mex:sources', 'No sources listed in %s.', file);
  end
end

function text = readText(file, id, what)
  [fid, msg] = fopen(file, 'r');
  if fid < 0
    error(id, 'Cannot read %s from %s: %s', what, file, msg);
  end
  text = fread(fid, Inf, '*char')';
  fclose(fid);
end

% Copies the listed sources and every header of their folders, of host/
% and of common/ (which they include by relative names) into the work
% folder, under the same relative names.
function stage(root, work, sources)
  folders = unique([{'host', 'common'}, cellfun(@fileparts, sources, 'UniformOutput', false)]);
  for k = 1:numel(folders)
    if ~exist(fullfile(work, folders{k}), 'dir')
      mkdir(fullfile(work, folders{k}));
    end
    headers = listFolder(fullfile(root, folders{k}));
    headers = headers(~cellfun(@isempty, regexp(headers, '\.h$', 'once')));
    for h = 1:numel(headers)
      copyBytes(fullfile(root, folders{k}, headers{h}), fullfile(work, folders{k}, headers{h}));
    end
  end
  for k = 1:numel(sources)
    copyBytes(fullfile(root, sources{k}), fullfile(work, sources{k}));
  end
end

% Octave's dir reads its argument as a glob pattern ([ and * in a folder
% name would match other names); readdir takes it as it is.
function names = listFolder(folder)
  if exist('OCTAVE_VERSION', 'builtin') ~= 0
    names = feval('readdir', folder)';
  else
    entries = dir(folder);
    names = {entries.name};
  end
end

% Replaces TO by FROM: a new file, not new contents, since a loaded module's
% file may be mapped. Octave's movefile hands the names to a shell and its
% delete reads them as glob patterns; unlink and rename take them as they are.
function [ok, msg] = moveFile(from, to)
  if exist('OCTAVE_VERSION', 'builtin') ~= 0
    if exist(to, 'file')
      feval('unlink', to);
    end
    [err, msg] = rename(from, to);
    ok = err == 0;
  else
    if exist(to, 'file')
      delete(to);
    end
    [ok, msg] = movefile(from, to, 'f');
  end
end

% Octave's copyfile hands the names to a shell: read and write instead.
function copyBytes(from, to)
  [in, msg] = fopen(from, 'r');
  if in < 0
    error('build_mex:copy', 'Cannot read %s: %s', from, msg);
  end
  bytes = fread(in, Inf, '*uint8');
  fclose(in);
  [out, msg] = fopen(to, 'w');
  if out < 0
    error('build_mex:copy', 'Cannot write %s: %s', to, msg);
  end
  fwrite(out, bytes, 'uint8');
  fclose(out);
end

function removeFolder(folder)
  if exist(folder, 'dir')
    if exist('OCTAVE_VERSION', 'builtin') ~= 0
      old = feval('confirm_recursive_rmdir', false);
      rmdir(folder, 's');
      feval('confirm_recursive_rmdir', old);
    else
      rmdir(folder, 's');
    end
  end
end

% One argument as the shell of system() reads it: POSIX sh takes anything
% inside single quotes but a single quote, written '\''; cmd.exe takes
% anything inside double quotes but " (not in Windows names) and %.
function q = shellQuote(s)
  if ispc()
    if any(s == '"') || any(s == '%')
      error('build_mex:path', 'cmd.exe cannot be given "%s": it holds " or %%.', s);
    end
    q = ['"' s '"'];
  else
    q = ['''' strrep(s, '''', '''\''''') ''''];
  end
end

function buildOctave(name, work, sources, flags, target)
  % mkoctfile takes its compiler flags and temporary folder from the
  % environment; the temporary folder is given relative to the work folder,
  % where the shell runs it, so no space reaches mkoctfile's link step.
  vars = {'CXXFLAGS', strjoin(flags, ' '); 'TMPDIR', 'tmp'};
  if ispc()
    vars = [vars; {'TMP', 'tmp'; 'TEMP', 'tmp'}];
  end
  old = cellfun(@getenv, vars(:, 1), 'UniformOutput', false);
  restore = onCleanup(@() cellfun(@setenv, vars(:, 1), old));
  cellfun(@setenv, vars(:, 1), vars(:, 2));
  if ispc()
    enter = 'cd /d ';
    sep = '\';
  else
    enter = 'cd ';
    sep = '/';
  end
  program = fullfile(feval('__octave_config_info__', 'bindir'), 'mkoctfile');
  args = [{'--mex', '-o', [name '.' mexext()]}, strrep(sources, '/', sep)];
  quoted = cellfun(@shellQuote, args, 'UniformOutput', false);
  % The compiler's messages (on stderr) are kept for the error.
  cmd = [enter shellQuote(work) ' && ' shellQuote(program) sprintf(' %s', quoted{:}) ' 2>&1'];
  [status, out] = system(cmd);
  if status ~= 0
    error('build_mex:compile', 'Compiling %s failed (mkoctfile exit status %d):\n%s', target, status, out);
  end
end

function buildMatlab(name, work, sources, flags, isOpt, target) %#ok<INUSD>
  % GCC, MinGW-w64 and Clang, Apple's included, which on arm64 (Apple
  % silicon) contracts into fused multiply-adds unless told not to. mex
  % keeps its own optimisation flags apart (CXXOPTIMFLAGS): ours replace them.
  args = {['CXXFLAGS=$CXXFLAGS ' strjoin(flags(~isOpt), ' ')], ['CXXOPTIMFLAGS=' strjoin(flags(isOpt), ' ')]};
  here = pwd();
  back = onCleanup(@() cd(here));
  cd(work);
  % The modules declare the host calls themselves, with 32-bit dimensions.
  mex('-compatibleArrayDims', args{:}, '-output', name, sources{:});
end
