% Draws the README's parameter pictures from the sample photo with the
% friendly interface. Usage (scripts/make-pictures.sh does this):
%   octave-cli make_pictures.m <photo> <output folder>
% docs/parameters.png: a crop of the photo smoothed with three values of
% Sigma (rows) and three of Lambda (columns), each labelled.
% docs/variation.png: the luma that ostraveVariation analyses, its net
% change and its total variation with the default options.
% docs/halflength.png: the net change of a text crop and a photo crop at
% half-lengths 1, 4 and 8.
% The labels are drawn by the gnuplot toolkit, headless.
warning('off', 'Octave:gnuplot-graphics');
graphics_toolkit('gnuplot');
set(0, 'defaultfigurevisible', 'off');

% Writes an RGB or grey picture with text labels: each row of LABELS is
% {x, y, text}, in pixels of the picture. Printed at 100 dpi, one figure
% pixel per picture pixel.
function labelled(img, labels, file)
  [h, w, ~] = size(img);
  f = figure('position', [0 0 w h]);
  set(f, 'paperunits', 'inches', 'paperposition', [0 0 w h] / 100);
  axes('position', [0 0 1 1]);
  imshow(img);
  hold on;
  for k = 1:rows(labels)
    text(labels{k, 1}, labels{k, 2}, labels{k, 3}, 'fontsize', 9, 'horizontalalignment', 'center');
  end
  print(f, '-dpng', '-r100', file);
  close(f);
end

args = argv();
rgb = imread(args{1});
out = args{2};
sigmas = [0.01 0.03 0.1];
lambdas = [4 12 40];
rows = 97:224;    % the beetle, the blade and some background
cols = 101:228;
gap = 4;
h = numel(rows);
w = numel(cols);
left = 80;   % margins for the labels
top = 20;
grid = 255 * ones(top + 3 * h + 2 * gap, left + 3 * w + 2 * gap, 3, 'uint8');
labels = cell(0, 3);
for a = 1:3
  for b = 1:3
    J = lantrelSmooth(rgb, 'Sigma', sigmas(a), 'Lambda', lambdas(b));
    grid(top + (a - 1) * (h + gap) + (1:h), left + (b - 1) * (w + gap) + (1:w), :) = J(rows, cols, :);
  end
  labels(end + 1, :) = {left / 2, top + (a - 1) * (h + gap) + h / 2, sprintf('Sigma %g', sigmas(a))};
  labels(end + 1, :) = {left + (a - 1) * (w + gap) + w / 2, top / 2, sprintf('Lambda %g', lambdas(a))};
end
labelled(grid, labels, fullfile(out, 'parameters.png'));

[nc, tv] = ostraveVariation(rgb);
% Each output is shown up to its 99.5th percentile (brighter pixels white),
% so that the few strongest edges do not leave the rest black.
function y = stretch(x)
  s = sort(x(:));
  y = min(x / s(round(0.995 * numel(s))), 1);
end
luma = imageLuma(rgb);
strip = ones(size(luma, 1), 3 * size(luma, 2) + 2 * gap);
strip(:, 1:size(luma, 2)) = luma;
strip(:, size(luma, 2) + gap + (1:size(luma, 2))) = stretch(nc);
strip(:, 2 * (size(luma, 2) + gap) + (1:size(luma, 2))) = stretch(tv);
imwrite(uint8(round(255 * strip)), fullfile(out, 'variation.png'));

% A text crop, drawn here as a scanner would see a printed page (black on
% white, the strokes 1 to 3 pixels wide), and a photo crop; the net change
% at three half-lengths, each shown up to its 99.5th percentile.
f = figure('position', [0 0 300 150]);
set(f, 'paperunits', 'inches', 'paperposition', [0 0 3 1.5]);
axes('position', [0 0 1 1], 'visible', 'off');
words = {'The quick brown fox', 'jumps over the lazy', 'dog. Pack my box with', 'five dozen liquor jugs.', ...
         'Sphinx of black quartz,', 'judge my vow.'};
for k = 1:numel(words)
  text(0.02, 1 - k / 7, words{k}, 'fontsize', 8, 'units', 'normalized');
end
page = [tempname() '.png'];
print(f, '-dpng', '-r100', page);   % 300 x 150 pixels, letters about 11 pixels high
close(f);
textCrop = imageLuma(imread(page));
delete(page);
textCrop = textCrop(14:109, 4:131);
photoCrop = luma(rows(1) + (0:95), cols);
lengths = [1 4 8];
h = 96;
w = 128;
top = 20;
pic = ones(top + 2 * h + gap, 4 * w + 3 * gap);
labels = {w / 2, top / 2, 'input'};
crops = {textCrop, photoCrop};
for r = 1:2
  y = top + (r - 1) * (h + gap) + (1:h);
  pic(y, 1:w) = crops{r};
  for k = 1:3
    nc = ostraveVariation(crops{r}, 'HalfLength', lengths(k));
    pic(y, k * (w + gap) + (1:w)) = stretch(nc);
    labels(end + 1, :) = {k * (w + gap) + w / 2, top / 2, sprintf('HalfLength %d', lengths(k))};
  end
end
labelled(pic, labels(1:4, :), fullfile(out, 'halflength.png'));
printf('%s\n', fullfile(out, 'parameters.png'), fullfile(out, 'variation.png'), fullfile(out, 'halflength.png'));
