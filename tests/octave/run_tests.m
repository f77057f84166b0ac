% Runs the %!test blocks of the modules' help files and of the helper
% functions beside them against the built modules: every .m file of the
% source folder but build_mex and the overview, each of which must be in the
% modules' folder (the CMake build copies the same set there).
% Usage: octave-cli run_tests.m <folder with the modules> <matlab source folder>
dirs = argv();
addpath(dirs{1});
names = regexprep({dir(fullfile(dirs{2}, '*.m')).name}, '\.m$', '');
names = setdiff(names, {'build_mex', 'Contents'});
passed = 0;
failed = 0;
for k = 1:numel(names)
  file = fullfile(dirs{1}, [names{k} '.m']);
  if ~exist(file, 'file')
    printf('%s: missing\n', file);
    failed += 1;
    continue;
  end
  [n, nmax] = test(file, 'quiet', stdout);
  printf('%s: %d of %d passed\n', names{k}, n, nmax);
  passed += n;
  failed += nmax - n;
end
printf('%d passed, %d failed\n', passed, failed);
exit(failed != 0 || isempty(names));
