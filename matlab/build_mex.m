%BUILD_MEX Compile the Lantrel and Ostrave modules from inside MATLAB or Octave.
%   BUILD_MEX compiles both modules from the source tree this file belongs to
%   and places each binary (NAME.<mexext>) in this folder, beside its help
%   file. Add the folder to the path and call the modules.
%
%   BUILD_MEX(OUTDIR) places the binaries in OUTDIR instead (created if
%   missing) and copies the help files there too, so that OUTDIR alone is
%   all the path needs.
%
%   FILES = BUILD_MEX(...) returns the full names of the binaries built.
%
%   The compiler flags are those of the CMake build and the Octave package,
%   read from cmake/flags.txt of the source tree: among them C++17 and no
%   contraction of a*b+c into fused multiply-adds (-ffp-contract=off), so
%   every build computes the same bits. Octave compiles with
%   "mkoctfile --mex"; MATLAB with "mex" and the C++ compiler chosen by
%   "mex -setup C++" (GCC, MinGW-w64 or Clang; on 32-bit x86 SSE2 maths is
%   requested as well).
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
  here = fileparts(mfilename('fullpath'));
  root = fileparts(here);
  if nargin < 1 || isempty(outdir)
    outdir = here;
  end
  if nargin < 2
    isOctave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
  else
    isOctave = strcmpi(host, 'octave');
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
  if isOctave
    x86_32 = ~isempty(regexp(computer(), '^i[3-6]86-', 'once'));
  else
    x86_32 = strcmp(computer('arch'), 'win32');
  end
  [flags, isOpt] = readFlags(fullfile(root, 'cmake', 'flags.txt'), x86_32);
  % name, source folder
  modules = {'Lantrel', 'smoothing'; 'Ostrave', 'pathvariation'};
  files = {};
  for k = 1:size(modules, 1)
    name = modules{k, 1};
    srcdir = fullfile(root, modules{k, 2});
    listing = dir(fullfile(srcdir, '*.cpp'));
    if isempty(listing)
      warning('build_mex:noSources', 'No sources for %s in %s; skipped.', name, srcdir);
      continue;
    end
    sources = cellfun(@(f) fullfile(srcdir, f), {listing.name}, 'UniformOutput', false);
    target = fullfile(outdir, [name '.' mexext()]);
    fprintf('Building %s\n', target);
    if isOctave
      buildOctave(target, root, sources, flags);
    else
      buildMatlab(name, outdir, root, sources, flags, isOpt);
    end
    if ~strcmp(outdir, here)
      copyfile(fullfile(here, [name '.m']), outdir);
    end
    files{end + 1} = target; %#ok<AGROW>
  end
  % A module loaded before the rebuild would otherwise stay in use.
  clear('Lantrel', 'Ostrave');
end

% The flags of every build (file format: see there): those for all
% targets, the optimisation (marked in isOpt), and on 32-bit x86 its own;
% not the warnings of the CMake build.
function [flags, isOpt] = readFlags(file, x86_32)
  [fid, msg] = fopen(file, 'r');
  if fid < 0
    error('build_mex:flags', 'Cannot read the compiler flags from %s: %s', file, msg);
  end
  text = fread(fid, Inf, '*char')';
  fclose(fid);
  pairs = regexp(text, '^([a-z0-9-]+)[ \t]+(-\S+)', 'tokens', 'lineanchors');
  groups = {'all', 'opt'};
  if x86_32
    groups{end + 1} = 'x86-32';
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

function buildOctave(target, root, sources, flags)
  % mkoctfile takes its compiler flags from the environment.
  old = getenv('CXXFLAGS');
  setenv('CXXFLAGS', strjoin(flags, ' '));
  cleanup = onCleanup(@() setenv('CXXFLAGS', old));
  % mkoctfile's link step does not quote the output name, so a folder
  % with a space in its path breaks it: link in the output folder under the
  % bare file name. Every argument is quoted for the shell, and the
  % compiler's messages (on stderr) are kept for the error.
  [folder, file, ext] = fileparts(make_absolute_filename(target));
  args = [{'--mex', '-DMEXAPI_OCTAVE', ['-I' fullfile(root, 'host')], '-o', [file ext]}, sources];
  cmd = ['"' fullfile(__octave_config_info__('bindir'), 'mkoctfile') '"' sprintf(' "%s"', args{:}) ' 2>&1'];
  here = pwd();
  back = onCleanup(@() cd(here));
  cd(folder);
  [status, out] = system(cmd);
  if status ~= 0
    error('build_mex:compile', 'Compiling %s failed (mkoctfile exit status %d):\n%s', target, status, out);
  end
end

function buildMatlab(name, outdir, root, sources, flags, isOpt)
  % GCC, MinGW-w64 and Clang, Apple's included, which on arm64 (Apple
  % silicon) contracts into fused multiply-adds unless told not to. mex
  % keeps its own optimisation flags apart (CXXOPTIMFLAGS): ours replace them.
  args = {['CXXFLAGS=$CXXFLAGS ' strjoin(flags(~isOpt), ' ')], ['CXXOPTIMFLAGS=' strjoin(flags(isOpt), ' ')]};
  % The modules declare the host calls themselves, with 32-bit dimensions.
  mex('-compatibleArrayDims', args{:}, ['-I' fullfile(root, 'host')], ...
      '-outdir', outdir, '-output', name, sources{:});
end
