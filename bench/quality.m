% Quality benchmark: lantrelSmooth beside the image package's imsmooth
% (Gaussian, bilateral, Perona & Malik) on the photos of data/, with
% Gaussian noise of 0 to 30 grey levels added with fixed seeds. Prints one
% table of PSNR and SSIM, each the mean over the photos, then the held-out
% photos alone and the targets of the noise-following defaults.
% Usage (scripts/quality.sh does this):
%   octave-cli quality.m <folder with the built modules> <data folder> [--smoke] [--figure FILE]
% --smoke: one photo, two noise levels, the defaults and a grid of one point
% each (seconds; the test command runs it). --figure: also writes the
% picture of noisy and smoothed crops.
args = argv();
addpath(make_absolute_filename(args{1}));
dataDir = args{2};
smoke = any(strcmp(args, '--smoke'));
figFile = '';
k = find(strcmp(args, '--figure'));
if ~isempty(k)
  figFile = args{k + 1};
end
pkg load image
t0 = tic;

% The photos, 256 x 256 (the ladybird's middle); three colour, two grey.
% The noise rule of lantrelSmooth was fitted on ladybird, dune and wood;
% storm and meadow were held out.
photos = struct('name', {'ladybird', 'storm', 'dune', 'wood', 'meadow'}, ...
                'colour', {true, false, true, false, true}, 'heldOut', {false, true, false, false, true});
levels = [0 2 5 10 20 30];
% The grids of "best": for each photo and noise level the point of the
% highest PSNR.
grid.lantrel = {[0.01 0.02 0.03 0.05 0.075 0.1 0.15 0.2], [1 2 4 8 16 32]};   % Sigma x Lambda
grid.gauss = {[0.5 0.75 1 1.5 2 3]};                                           % spread
grid.bilateral = {[1 2], [0.01 0.03 0.06 0.12 0.25]};                         % sigma_d x sigma_r
grid.pm = {[5 15 40], [0.03 0.08 0.2]};                                        % iterations x K
if smoke
  photos = photos(1);
  levels = [0 10];
  grid.lantrel = {0.05, 4};
  grid.gauss = {1};
  grid.bilateral = {1, 0.1};
  grid.pm = {5, 0.1};
end

% SSIM (Wang, Bovik, Sheikh, Simoncelli, "Image quality assessment: from
% error visibility to structural similarity", IEEE TIP 13(4), 2004): an
% 11 x 11 Gaussian window of spread 1.5, K1 = 0.01, K2 = 0.03, dynamic
% range L = 1; the mean over the pixels whose window lies inside the
% image, and over the channels of a colour image.
function s = ssim(a, b)
  g = exp(-((-5:5) .^ 2) / (2 * 1.5 ^ 2));
  g = g / sum(g);
  c1 = 0.01 ^ 2;
  c2 = 0.03 ^ 2;
  f = @(x) conv2(g, g, x, 'valid');
  s = 0;
  for k = 1:size(a, 3)
    x = a(:, :, k);
    y = b(:, :, k);
    mx = f(x);
    my = f(y);
    vx = f(x .* x) - mx .^ 2;
    vy = f(y .* y) - my .^ 2;
    cxy = f(x .* y) - mx .* my;
    m = ((2 * mx .* my + c1) .* (2 * cxy + c2)) ./ ((mx .^ 2 + my .^ 2 + c1) .* (vx + vy + c2));
    s = s + mean(m(:));
  end
  s = s / size(a, 3);
end

function ifv = ifelse(c, a, b)
  if c
    ifv = a;
  else
    ifv = b;
  end
end

function p = psnr1(a, b)
  p = 10 * log10(1 / mean((a(:) - b(:)) .^ 2));
end

% Every method as a function of the noisy image and one grid point.
methods = {
  'noisy input',                  @(x, p) x, {};
  'lantrelSmooth, defaults',      @(x, p) lantrelSmooth(x), {};
  'lantrelSmooth, best of grid',  @(x, p) lantrelSmooth(x, 'Sigma', p(1), 'Lambda', p(2)), grid.lantrel;
  'Gaussian, default (0.5)',      @(x, p) imsmooth(x, 'Gaussian'), {};
  'Gaussian, best of grid',       @(x, p) imsmooth(x, 'Gaussian', p(1)), grid.gauss;
  'bilateral, default (2, 10/255)', @(x, p) imsmooth(x, 'Bilateral'), {};
  'bilateral, best of grid',      @(x, p) imsmooth(x, 'Bilateral', p(1), p(2)), grid.bilateral;
  'Perona-Malik, default',        @(x, p) imsmooth(x, 'p&m'), {};
  'Perona-Malik, best of grid',   @(x, p) imsmooth(x, 'p&m', p(1), 0.25, @(d) exp(-(d / p(2)) .^ 2)), grid.pm};
nm = rows(methods);
np = numel(photos);
nl = numel(levels);
P = NaN(nm, nl, np);       % PSNR
S = NaN(nm, nl, np);       % SSIM
D = NaN(nm, np);           % mean change of the clean photo, grey levels
shown = cell(nm, 1);       % the crops of the picture

for ip = 1:np
  rgb = double(imread(fullfile(dataDir, [photos(ip).name '.png']))) / 255;
  off = floor((size(rgb, 1) - 256) / 2);
  clean = rgb(off + (1:256), off + (1:256), :);
  if ~photos(ip).colour
    clean = imageLuma(clean);
  end
  for il = 1:nl
    randn('state', 100 * ip + levels(il));
    noisy = clean + levels(il) / 255 * randn(size(clean));
    for im = 1:nm
      g = methods{im, 3};
      if isempty(g)
        points = [];
      elseif numel(g) == 1
        points = g{1}(:);
      else
        [a, b] = ndgrid(g{1}, g{2});
        points = [a(:) b(:)];
      end
      if levels(il) == 0 && ~isempty(g)
        continue;   % the best of a grid on a clean photo is no smoothing at all
      end
      best = -Inf;
      for q = 1:max(1, rows(points))
        if isempty(points)
          j = methods{im, 2}(noisy, []);
        else
          j = methods{im, 2}(noisy, points(q, :));
        end
        j = min(max(j, 0), 1);
        v = psnr1(j, clean);
        if v > best
          best = v;
          bestJ = j;
        end
      end
      P(im, il, ip) = best;
      S(im, il, ip) = ssim(bestJ, clean);
      if levels(il) == 0
        D(im, ip) = 255 * mean(abs(bestJ(:) - clean(:)));
      end
      if ip == 1 && levels(il) == max(levels)
        shown{im} = bestJ;
      end
    end
  end
end

printf('Quality of smoothing: mean over %d photos of 256 x 256 (%s), Gaussian noise added in [0, 1] (not clipped).\n', ...
       np, strjoin(arrayfun(@(p) sprintf('%s %s', p.name, ifelse(p.colour, 'colour', 'grey')), photos, ...
                            'UniformOutput', false), ', '));
printf('Outputs are clipped to [0, 1]; PSNR in dB and SSIM against the clean photo; at noise 0, the mean change in grey levels.\n');
printf('Grids: lantrelSmooth Sigma %s x Lambda %s; Gaussian spread %s; bilateral sigma_d %s x sigma_r %s;\n', ...
       mat2str(grid.lantrel{1}), mat2str(grid.lantrel{2}), mat2str(grid.gauss{1}), mat2str(grid.bilateral{1}), ...
       mat2str(grid.bilateral{2}));
printf('Perona-Malik iterations %s x K %s (g(d) = exp(-(d/K)^2), lambda 0.25; its default K 25 on [0, 1] diffuses like a Gaussian).\n\n', ...
       mat2str(grid.pm{1}), mat2str(grid.pm{2}));
mp = mean(P, 3);
ms = mean(S, 3);
md = mean(D, 2);
printf('| noise (grey levels) |');
printf(' %d |', levels);
printf('\n| --- |%s\n', repmat(' --- |', 1, nl));
for im = 1:nm
  printf('| %s |', methods{im, 1});
  for il = 1:nl
    if levels(il) == 0
      if isnan(md(im))
        printf(' - |');
      else
        printf(' %.2f change, %.4f |', md(im), ms(im, il));
      end
    else
      printf(' %.2f dB, %.4f |', mp(im, il), ms(im, il));
    end
  end
  printf('\n');
end

% The targets of the defaults (rows 2 and 3; 7 is the best bilateral).
printf('\nlantrelSmooth defaults minus the best of its grid, dB, by noise level from 2 up:\n');
noisyLevels = find(levels > 0);
held = [photos.heldOut];
sets = {true(1, np), ~held, held};
setNames = {'all photos', 'fit photos', 'held-out photos'};
for k = 1:3
  if any(sets{k})
    printf('  %-16s', setNames{k});
    printf(' %6.2f', mean(P(2, noisyLevels, sets{k}) - P(3, noisyLevels, sets{k}), 3));
    printf('\n');
  end
end
printf('lantrelSmooth defaults minus the best bilateral, dB:\n  %-16s', 'all photos');
printf(' %6.2f', mean(P(2, noisyLevels, :) - P(7, noisyLevels, :), 3));
printf('\nclean photos, mean change by the defaults: %.2f grey levels (largest %.2f)\n', md(2), max(D(2, :)));
printf('run time %.0f s\n', toc(t0));

if ~isempty(figFile)
  % noisy input, lantrelSmooth defaults, best bilateral: a 96 x 96 crop of
  % the first photo at the highest noise level, beside the clean crop
  r = 81:176;
  c = 101:196;
  rgb = double(imread(fullfile(dataDir, [photos(1).name '.png']))) / 255;
  off = floor((size(rgb, 1) - 256) / 2);
  clean = rgb(off + r, off + c, :);
  gap = ones(96, 4, 3);
  strip = [clean gap shown{1}(r, c, :) gap shown{2}(r, c, :) gap shown{3}(r, c, :) gap shown{7}(r, c, :)];
  z = ceil((1:2 * size(strip, 2)) / 2);
  strip = strip(ceil((1:2 * size(strip, 1)) / 2), z, :);   % twice the size, pixels as squares
  imwrite(uint8(round(255 * strip)), figFile);
end
