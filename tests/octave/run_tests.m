% Runs the %!test blocks of the modules' help files and of the helper
% functions beside them against the built modules.
% Usage: octave-cli run_tests.m <folder with the modules>
dirs = argv();
addpath(dirs{1});
names = {'Lantrel', 'Ostrave', 'imageLuma', 'imageNoise', 'imageToUnit', 'lantrelWeights', 'ostraveDirections', 'ostraveTable', ...
         'lantrelSmooth', 'ostraveVariation'};
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
exit(failed != 0);
