% build_mex from a copy of the source tree in a folder whose name holds
% what shells treat specially, with a temporary folder whose path has a
% space: the binaries it makes load, print their help, and compute the same
% bits as the CMake build; nothing in the name runs.
% Usage: octave-cli test_build_mex.m <source root> <folder with the CMake-built modules>
args = argv();
root = make_absolute_filename(args{1});
built = make_absolute_filename(args{2});
failures = 0;
base = tempname();
sq = @(s) ["'" strrep(s, "'", "'\\''") "'"];
unwind_protect
  % spaces, both quotes, $(...), backquotes, a variable, glob characters and
  % a non-ASCII letter
  tree = fullfile(base, ['a b''c"d$(touch X)e`touch Y`f$HOME [1]* ' char([195 184])]);
  out = fullfile(tree, 'out dir');
  mkdir(tree);
  for d = {'matlab', 'cmake', 'host', 'common', 'smoothing', 'pathvariation', 'imageops'}
    if exist(fullfile(root, d{1}), 'dir') && system(['cp -R ' sq(fullfile(root, d{1})) ' ' sq(tree)]) != 0
      error('cannot copy %s into %s', d{1}, tree);
    end
  end
  addpath(fileparts(mfilename('fullpath')));
  compiler_log('start');
  spaced = fullfile(base, 'temp dir');
  mkdir(spaced);
  oldTmp = getenv('TMPDIR');
  setenv('TMPDIR', spaced);
  % the path added relative to the current folder, as users do
  start = pwd();
  cd(tree);
  addpath('matlab');
  lastwarn('');
  tic;
  try
    files = build_mex(out);
  catch err
    files = {};
    printf('FAILED: build_mex in %s: %s\n', tree, err.message);
    failures++;
  end
  warned = lastwarn();
  rmpath('matlab');
  cd(start);
  setenv('TMPDIR', oldTmp);
  compiles = compiler_log('stop');
  printf('build_mex: %d modules in %.1f s\n', numel(files), toc);
  if !isempty(warned)
    printf('FAILED: build_mex warned: %s\n', warned);
    failures++;
  end
  [~, ran] = system(['find ' sq(base) ' ' sq(root) ' ' sq(pwd()) ' \( -name X -o -name Y \) -print']);
  if !isempty(ran)
    printf('FAILED: a folder name ran as a command:\n%s', ran);
    failures++;
  end
  % The package's own build (src/Makefile, as pkg install runs it) in such a
  % folder, with the same temporary folder.
  [status, made] = system([sq(fullfile(root, 'scripts', 'package.sh')) ' ' sq(fullfile(base, 'package'))]);
  made = strsplit(strtrim(made), "\n"){end};
  pkgSrc = fullfile(tree, regexprep(made, '^.*/(.*)\.tar\.gz$', '$1'), 'src');
  if status == 0
    [status, made] = system(['tar -xzf ' sq(made) ' -C ' sq(tree) ' && cp ' sq(fullfile(pkgSrc, '..', 'inst')) ...
                             '/*.m ' sq(pkgSrc) ' && cd ' sq(pkgSrc) ' && TMPDIR=' sq(spaced) ' make 2>&1' ...
                             ' && cp -R ../inst/private . && mv lantrelops.mex private/']);
  end
  if status != 0
    printf('FAILED: the package build in %s:\n%s\n', pkgSrc, made);
    failures++;
  end
  left = readdir(out);
  if any(strncmp(left, 'build_mex-', 10))
    printf('FAILED: build_mex left its work folder in %s\n', out);
    failures++;
  end
  expected = {'Lantrel', 'Ostrave'};
  for k = 1:numel(expected)
    if ~exist(fullfile(out, [expected{k} '.' mexext()]), 'file') || ~exist(fullfile(out, [expected{k} '.m']), 'file')
      printf('FAILED: %s: binary or help file missing in %s\n', expected{k}, out);
      failures++;
    end
  end
  if ~exist(fullfile(out, 'private', ['lantrelops.' mexext()]), 'file')
    printf('FAILED: the private helper is missing in %s\n', fullfile(out, 'private'));
    failures++;
  end

  % Results of the fresh build, then of the CMake build, on the same inputs.
  rand('seed', 7);
  in.x = rand(40, 30, 2); in.w = rand(40, 30);
  in.img = 100 * rand(30, 25); in.dirs = floor(361 * rand(30, 25));
  in.tab = round(3 * rand(80, 722)) - 1;
  function r = run_all(folder, names, in)
    addpath(folder);
    r = {Lantrel(in.x, [], in.w, [], 8, 3, 2)};
    if any(strcmp(names, 'Ostrave'))
      [nc, tv] = Ostrave(in.img, in.dirs, in.tab, 1);
      r(end + 1:end + 2) = {nc, tv};
    end
    % the helpers through their private module: its bits and its folder's
    r{end + 1} = lantrelWeights(uint8(255 * in.x(:, :, 1)), 0.05);
    r{end + 1} = ostraveDirections(in.img / 100, 'edge');
    r{end + 1} = strcmp(fileparts(which('lantrelWeights')), folder);
    r{end + 1} = ~isempty(strfind(evalc('help Lantrel'), 'LANTREL'));
    % each run must use its own folder's binary, or the comparison is void
    r{end + 1} = strncmp(which('Lantrel'), folder, numel(folder));
    rmpath(folder);
    clear Lantrel Ostrave
  end
  fresh = run_all(out, expected, in);
  % the source folder has no compiled helper: its stub names the caller
  addpath(fullfile(tree, 'matlab'));
  try
    lantrelWeights(1);
    printf('FAILED: lantrelWeights ran without its compiled helper\n');
    failures++;
  catch err
    if ~strcmp(err.identifier, 'lantrelWeights:notCompiled') || isempty(strfind(err.message, 'build_mex'))
      printf('FAILED: without its compiled helper lantrelWeights says: %s (%s)\n', err.message, err.identifier);
      failures++;
    end
  end
  rmpath(fullfile(tree, 'matlab'));
  packaged = run_all(pkgSrc, expected, in);
  reference = run_all(built, expected, in);
  if ~isequal(fresh, reference) || ~isequal(packaged, reference)
    printf('FAILED: the modules built by build_mex (%d) or the package (%d) differ from the CMake build\n', ...
           ~isequal(fresh, reference), ~isequal(packaged, reference));
    failures++;
  end

  % build_mex, its MATLAB branch (mex stubbed) and the CMake build compile
  % with the flags all builds share.
  commands = jsondecode(fileread(fullfile(fileparts(built), 'compile_commands.json')));
  compiles = [compiles, {commands(~cellfun(@isempty, strfind({commands.command}, 'lantrel_octave.dir'))).command}];
  stub = tempname();
  mkdir(fullfile(stub, '+mex'));
  fid = fopen(fullfile(stub, '+mex', 'getCompilerConfigurations.m'), 'w');
  fprintf(fid, 'function cc = getCompilerConfigurations(lang, which)\n  cc = struct(''Name'', ''g++'', ''ShortName'', ''g++'');\nend\n');
  fclose(fid);
  fid = fopen(fullfile(stub, 'mex.m'), 'w');
  fprintf(fid, ['function mex(varargin)\n  global mexArgs\n  mexArgs = varargin;\n' ...
                '  fclose(fopen([varargin{find(strcmp(varargin, ''-output'')) + 1} ''.'' mexext()], ''w''));\nend\n']);
  fclose(fid);
  warning('off', 'Octave:shadowed-function');
  addpath(stub, fullfile(root, 'matlab'));
  global mexArgs
  evalc('build_mex(fullfile(stub, ''out''), ''matlab'')');
  rmpath(stub, fullfile(root, 'matlab'));
  compiles{end + 1} = strjoin(regexprep(mexArgs(strncmp(mexArgs, 'CXX', 3)), '^[A-Z]+=', ''), ' ');
  bad = check_flags(root, compiles);
  if numel(compiles) < 7 || ~isempty(bad)
    printf('FAILED: %d compiles, without the shared flags: %s\n', numel(compiles), strjoin(bad, '\n'));
    failures++;
  end
  printf('build_mex: %d compiles checked for the shared flags\n', numel(compiles));
  confirm_recursive_rmdir(false);
  rmdir(stub, 's');

  % MATLAB with MSVC selected (MATLAB's compiler query stubbed): build_mex
  % stops before building anything and points to the prebuilt modules.
  stub = tempname();
  mkdir(fullfile(stub, '+mex'));
  fid = fopen(fullfile(stub, '+mex', 'getCompilerConfigurations.m'), 'w');
  fprintf(fid, ['function cc = getCompilerConfigurations(lang, which)\n' ...
                '  cc = struct(''Name'', ''Microsoft Visual C++ 2022'', ''ShortName'', ''MSVCPP170'', ''Manufacturer'', ''Microsoft'');\n' ...
                'end\n']);
  fclose(fid);
  addpath(stub, fullfile(root, 'matlab'));
  msvcOut = fullfile(stub, 'out');
  try
    shown = evalc('build_mex(msvcOut, ''matlab'')');
    printf('FAILED: build_mex with MSVC did not stop\n');
    failures++;
  catch err
    if ~strcmp(err.identifier, 'build_mex:msvc') || isempty(strfind(err.message, '.mexw64')) ...
        || isempty(strfind(err.message, 'MinGW-w64')) || numel(dir(msvcOut)) > 2
      printf('FAILED: build_mex with MSVC: %s (%s)\n', err.message, err.identifier);
      failures++;
    end
  end
  rmpath(stub, fullfile(root, 'matlab'));
  confirm_recursive_rmdir(false);
  rmdir(stub, 's');

  % A failed compile shows the compiler's own message.
  broken = tempname();
  mkdir(fullfile(broken, 'matlab'));
  mkdir(fullfile(broken, 'smoothing'));
  copyfile(fullfile(root, 'matlab', 'build_mex.m'), fullfile(broken, 'matlab'));
  mkdir(fullfile(broken, 'cmake'));
  copyfile(fullfile(root, 'cmake', 'flags.txt'), fullfile(broken, 'cmake'));
  fid = fopen(fullfile(broken, 'cmake', 'sources.txt'), 'w');
  fprintf(fid, 'Lantrel entry smoothing/broken.cpp\n');
  fclose(fid);
  fid = fopen(fullfile(broken, 'smoothing', 'broken.cpp'), 'w');
  fprintf(fid, '#error deliberately broken\n');
  fclose(fid);
  addpath(fullfile(broken, 'matlab'));
  try
    build_mex(fullfile(broken, 'out'));
    printf('FAILED: build_mex reported no error for a broken source\n');
    failures++;
  catch err
    if ~strcmp(err.identifier, 'build_mex:compile') || isempty(strfind(err.message, 'deliberately broken'))
      printf('FAILED: the compile error does not show the compiler''s message: %s\n', err.message);
      failures++;
    end
  end
  rmpath(fullfile(broken, 'matlab'));
unwind_protect_cleanup
  confirm_recursive_rmdir(false);
  if exist(base, 'dir')
    rmdir(base, 's');
  end
  if exist('broken', 'var') && exist(broken, 'dir')
    rmdir(broken, 's');
  end
end_unwind_protect
printf('build_mex: %d failed\n', failures);
exit(failures != 0);
