% Draws the README's parameter pictures from the sample photo with the
% friendly interface. Usage (scripts/make-pictures.sh does this):
%   octave-cli make_pictures.m <photo> <output folder>
% docs/parameters.png: a crop of the photo smoothed with three values of
% Sigma (rows) and three of Lambda (columns), the defaults in the middle.
% docs/variation.png: the luma that ostraveVariation analyses, its net
% change and its total variation with the default options.
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
grid = 255 * ones(3 * h + 2 * gap, 3 * w + 2 * gap, 3, 'uint8');
for a = 1:3
  for b = 1:3
    J = lantrelSmooth(rgb, 'Sigma', sigmas(a), 'Lambda', lambdas(b));
    grid((a - 1) * (h + gap) + (1:h), (b - 1) * (w + gap) + (1:w), :) = J(rows, cols, :);
  end
end
imwrite(grid, fullfile(out, 'parameters.png'));

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
printf('%s\n', fullfile(out, 'parameters.png'), fullfile(out, 'variation.png'));
