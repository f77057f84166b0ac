% The friendly functions against the raw module calls they make, on a
% 3000 x 4000 RGB uint8 photo (data/ladybird.png enlarged, with noise):
% lantrelSmooth against its two Lantrel calls (pilot and final, same
% arguments), ostraveVariation against its Ostrave call. Each folder given
% (a build of the toolbox: the modules and the .m files) is timed in every
% round, rounds interleaved; medians in seconds, and the resident memory
% lantrelSmooth adds at its peak, in multiples of the image's bytes.
% Usage: octave-cli friendly.m <rounds> <folder> [<folder> ...]
args = argv();
rounds = str2double(args{1});
folders = args(2:end)';
photo = imread(fullfile(fileparts(mfilename('fullpath')), '..', 'data', 'ladybird.png'));
rand('seed', 3);
img = photo(ceil((1:3000) * size(photo, 1) / 3000), ceil((1:4000) * size(photo, 2) / 4000), :);
img = uint8(double(img) + 12 * (rand(size(img)) - 0.5));

function kb = memoryKb(field)
  text = fileread('/proc/self/status');
  kb = str2double(regexp(text, [field ':\s*(\d+)'], 'tokens', 'once'){1});
end
function resetPeak()
  fid = fopen('/proc/self/clear_refs', 'w');
  fprintf(fid, '5');
  fclose(fid);
end

% The raw calls' arguments, as lantrelSmooth and ostraveVariation make them
% (with the last folder's toolbox; every folder's give the same bits).
addpath(folders{end});
[~, used] = lantrelSmooth(img(1:8, 1:8, :));   % warm up
x = double(img) / 255;
noise = imageNoise(x);
pilotSigma = 2 * noise + 0.003;
pilotLambda = 0.5 * (255 * noise) ^ 0.75;
pw = lantrelWeights(x, pilotSigma);
guide = Lantrel(x, [], pw, [], pilotLambda, 4, 2);
w = lantrelWeights(guide, min(pilotSigma, 0.035));
y = imageLuma(img);
d = ostraveDirections(y);
t = ostraveTable();
rmpath(folders{end});
clear guide

names = [strcat('lantrelSmooth@', folders), {'Lantrel x2'}, strcat('ostraveVariation@', folders), {'Ostrave'}];
times = zeros(rounds, numel(names));
growth = zeros(rounds, numel(folders));
for r = 1:rounds
  col = 0;
  for f = 1:numel(folders)
    addpath(folders{f});
    resetPeak();
    before = memoryKb('VmRSS');
    tic; j = lantrelSmooth(img); times(r, col + f) = toc;
    growth(r, f) = (memoryKb('VmHWM') - before) * 1024 / numel(img);
    clear j
    rmpath(folders{f});
    clear lantrelSmooth ostraveVariation lantrelWeights imageNoise imageToUnit imageLuma ostraveDirections ostraveTable
  end
  col = numel(folders) + 1;
  addpath(folders{1});
  tic;
  j = Lantrel(x, [], pw, [], pilotLambda, 4, 2, 0);
  j = Lantrel(x, [], w, [], 0.8 * pilotLambda, 4, 2, 0);
  times(r, col) = toc;
  clear j
  for f = 1:numel(folders)
    addpath(folders{f});
    tic; nc = ostraveVariation(img); times(r, col + f) = toc;
    clear nc
    rmpath(folders{f});
    clear lantrelSmooth ostraveVariation lantrelWeights imageNoise imageToUnit imageLuma ostraveDirections ostraveTable
  end
  addpath(folders{1});
  tic; nc = Ostrave(y, d, t, 4, 0); times(r, end) = toc;
  rmpath(folders{1});
  clear nc
end
med = median(times, 1);
for k = 1:numel(names)
  printf('%-60s %7.3f s  (rounds: %s)\n', names{k}, med(k), sprintf('%.3f ', times(:, k)));
end
for f = 1:numel(folders)
  printf('%s: lantrelSmooth %.2fx its Lantrel calls, ostraveVariation %.2fx its Ostrave call; memory growth %.1fx the image\n', ...
         folders{f}, med(f) / med(numel(folders) + 1), med(numel(folders) + 1 + f) / med(end), median(growth(:, f)));
end
