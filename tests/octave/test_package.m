% Installs the Octave package into a temporary prefix whose architecture
% folder differs from the package folder, as in a system-wide install (the
% user's package lists are never touched), then loads it, calls the modules,
% reads the help, runs "pkg test lantrel" and "demo Lantrel" headless with
% the figure printed to a file.
% Usage: octave-cli test_package.m <lantrel-x.y.z.tar.gz>
args = argv();
tarball = make_absolute_filename(args{1});
tmp = tempname();
mkdir(tmp);
failures = {};
here = pwd();
unwind_protect
cd(tmp);  % pkg test writes its log into the current folder
share = fullfile(tmp, 'share');
arch = fullfile(tmp, 'arch');
pkg('prefix', share, arch);
pkg('local_list', fullfile(tmp, 'local_list'));
pkg('global_list', fullfile(tmp, 'global_list'));
% -verbose shows the compiler's output: ctest fails on any ABI note in it.
% Every compile must have the flags all builds share.
addpath(fileparts(mfilename('fullpath')));
compiler_log('start');
pkg('install', '-local', '-nodeps', '-verbose', tarball);
compiles = compiler_log('stop');
bad = check_flags(fullfile(fileparts(mfilename('fullpath')), '..', '..'), compiles);
if numel(compiles) < 2 || ~isempty(bad)
  failures{end + 1} = sprintf('%d compiles, without the shared flags: %s', numel(compiles), strjoin(bad, '; '));
end
printf('package: %d compiles checked for the shared flags\n', numel(compiles));
pkg('load', 'lantrel');

w = which('Lantrel');
if ~strncmp(w, arch, numel(arch)) || isempty(regexp(w, ['\.' mexext() '$'], 'once'))
  failures{end + 1} = sprintf('Lantrel resolves to %s, not the binary under %s', w, arch);
end
out = Lantrel([0 3 0; 0 3 0], [], ones(2, 3), [], 2, 1, 4);
if ~isequal(out(1, :), [0.7500000000000001 1.5000000000000002 0.7500000000000001])
  failures{end + 1} = sprintf('Lantrel gave %s', mat2str(out, 17));
end
text = evalc('help Lantrel');
if isempty(strfind(text, 'LANTREL Edge-preserving smoothing')) || isempty(strfind(text, 'Lantrel:notCompiled'))
  failures{end + 1} = 'help Lantrel did not print the help text';
end
[nc, tv] = Ostrave(magic(12), zeros(12), zeros(80, 722), 2);
if ~isequal(size(nc), [12 12]) || ~isequal(size(tv), [12 12]) || any(nc(:)) || any(tv(:))
  failures{end + 1} = 'Ostrave with zero offsets did not give two zero 12 x 12 images';
end

% The README's photo example as a user runs it once the package is loaded:
% in a folder outside the sources (this one), the photo from the package.
function runReadme(code)
  evalc(code);  % a workspace of its own
end
readme = fileread(fullfile(fileparts(mfilename('fullpath')), '..', '..', 'README.md'));
block = regexp(readme, '<!-- real-photo example[^\n]*\n```matlab\n(.*?)```', 'tokens', 'once');
try
  runReadme(block{1});
  printf('README example: ran in %s after pkg install\n', pwd());
catch err
  failures{end + 1} = sprintf('README example after pkg install: %s', err.message);
end

% The overview names every function the package installs.
overview = evalc('help lantrel');
installed = [dir(fullfile(share, '*', '*.m')); dir(fullfile(arch, '**', '*.m'))];
names = regexprep({installed.name}, '\.m$', '');
if numel(names) < 2
  failures{end + 1} = sprintf('only %d functions installed', numel(names));
end
for k = 1:numel(names)
  if isempty(regexp(overview, ['^\s+' names{k} '\s+- '], 'once', 'lineanchors'))
    failures{end + 1} = sprintf('help lantrel does not list %s', names{k});
  end
end

% pkg test: every %!test of the installed files, the binaries from the
% architecture folder.
report = evalc('pkg test lantrel');
pass = regexp(report, 'PASS\s+(\d+)', 'tokens', 'once');
fail = regexp(report, 'FAIL\s+(\d+)', 'tokens', 'once');
nfail = 0;
if ~isempty(fail)
  nfail = str2double(fail{1});
end
if isempty(pass) || str2double(pass{1}) < 50 || nfail > 0
  failures{end + 1} = sprintf('pkg test lantrel:\n%s', report);
else
  printf('pkg test lantrel: %s passed, %d failed\n', pass{1}, nfail);
end

% The demos draw into an invisible gnuplot figure, printed to a PNG.
warning('off', 'Octave:gnuplot-graphics');
graphics_toolkit('gnuplot');
set(0, 'defaultfigurevisible', 'off');
for name = {'Lantrel', 'Ostrave', 'lantrelSmooth', 'ostraveVariation'}
  png = fullfile(tmp, [name{1} '-demo.png']);
  shown = evalc(['demo ' name{1}]);
  if isempty(strfind(shown, 'imshow')) || ~isempty(strfind(shown, 'failed'))
    failures{end + 1} = sprintf('demo %s:\n%s', name{1}, shown);
    continue;
  end
  print('-dpng', png);
  close all;
  info = dir(png);
  if isempty(info)
    failures{end + 1} = sprintf('demo %s: no figure in %s', name{1}, png);
    continue;
  end
  fig = double(imread(png));
  % a drawn photo has many colours; an empty or failed plot has a handful
  colours = size(unique(reshape(fig, [], size(fig, 3)), 'rows'), 1);
  printf('demo %s: %d x %d PNG, %d bytes, %d colours\n', name{1}, size(fig, 2), size(fig, 1), info.bytes, colours);
  if info.bytes < 20000 || colours < 1000
    failures{end + 1} = sprintf('demo %s: the figure holds no photo', name{1});
  end
end
pkg('unload', 'lantrel');
unwind_protect_cleanup
  cd(here);
  confirm_recursive_rmdir(false);
  rmdir(tmp, 's');
end_unwind_protect
for k = 1:numel(failures)
  printf('FAILED: %s\n', failures{k});
end
printf('package: %d failed\n', numel(failures));
exit(numel(failures) != 0);
