%LANTRELWEIGHTS Edge-aware weight map of an image, for LANTREL.
%   W = LANTRELWEIGHTS(I) returns the weight map that LANTRELSMOOTH and the
%   command-line tool lantrel compute from the image I with the default
%   SIGMA = 0.03.
%   W = LANTRELWEIGHTS(I, SIGMA) sets the edge scale.
%
%   With I scaled to [0, 1] the way IM2DOUBLE scales it,
%     W(i,j) = exp(-g(i,j) / SIGMA),
%     g(i,j) = hypot(I(i,j+1) - I(i,j), I(i+1,j) - I(i,j)),
%   a difference past the last column or row counting as 0; for a colour
%   image g is the largest over the channels. Across an edge g is large and
%   W near 0, so the smoother keeps the edge; in flat areas W is near 1. A
%   step of SIGMA between neighbours gives exp(-1) = 0.37. The values are
%   those of the tool's, computed in the same order with correctly rounded
%   exp and hypot of the toolbox's own, so every platform gives the same
%   bits.
%
%   Inputs
%     I      M x N (grey) or M x N x C (colour: every channel counts) real
%            array of class uint8 (divided by 255), uint16 (by 65535),
%            int16 ((x + 32768) / 65535), single or double (as they are) or
%            logical (0 or 1).
%     SIGMA  real scalar > 0, finite, in units of the full intensity range;
%            default 0.03. Smaller keeps fainter edges (and noise); larger
%            smooths across them.
%
%   Output
%     W      M x N double in [0, 1]. A difference involving a NaN counts
%            as 0, as in the tool (so a NaN pixel and its left and upper
%            neighbours get weight 1, unless another channel says otherwise).
%
%   Errors (identifier, when)
%     lantrelWeights:badImage   I not a real, full array of a class above,
%                               or with more than three dimensions
%     lantrelWeights:badValue   SIGMA not a real scalar > 0 and finite
%     lantrelWeights:usage      no input
%
%   Example
%     rgb = imread('data/ladybird.png');
%     w = lantrelWeights(rgb, 0.03);
%     out = Lantrel(im2double(rgb), [], w, [], 12, 4, 2);   % = lantrelSmooth(rgb) in double
%
%   See also LANTRELSMOOTH, LANTREL, IMAGELUMA.

function w = lantrelWeights(img, sigma)
  if nargin < 1
    error('lantrelWeights:usage', 'Invalid call to lantrelWeights. Use\n  W = lantrelWeights(I)\n  W = lantrelWeights(I, SIGMA)');
  end
  if nargin < 2
    sigma = 0.03;
  end
  if ~isnumeric(sigma) || ~isreal(sigma) || ~isscalar(sigma) || ~(sigma > 0) || ~isfinite(sigma)
    error('lantrelWeights:badValue', 'SIGMA must be a real scalar > 0 and finite.');
  end
  checkImage(img, 'lantrelWeights:badImage', 'image');
  if ndims(img) > 3
    error('lantrelWeights:badImage', 'The image must have at most three dimensions, not %d.', ndims(img));
  end
  % the image read where it lies, in its own class, on every core
  w = lantrelops('weights', img, double(sigma), 0);
end


%!test
%! % the definition, element by element: right and lower differences, last
%! % column and row count 0, largest over the channels
%! img = [0 0.5 0.5; 0.2 0.2 1];
%! w = lantrelWeights(img, 0.25);
%! g = [hypot(0.5, 0.2), 0.3, 0.5; 0, 0.8, 0];
%! assert(w, exp(-g / 0.25), 1e-15);
%! rgb = cat(3, [0 0.5; 0 0], zeros(2), [1 0; 0 0]);
%! assert(lantrelWeights(rgb, 1), exp(-[sqrt(2) 0.5; 0 0]), 1e-15);
%!test
%! % classes scale like im2double; the default sigma is 0.03
%! u = uint8([0 51; 255 0]);
%! assert(isequal(lantrelWeights(u), lantrelWeights(double(u) / 255, 0.03)));
%! assert(isequal(lantrelWeights(uint16(u) * 257, 0.1), lantrelWeights(double(u) / 255, 0.1)));
%! assert(lantrelWeights(int16([-32768 32767]), 1), [exp(-1) 1], 1e-15);
%! assert(lantrelWeights(zeros(1, 0)), zeros(1, 0));
%! assert(lantrelWeights([0 NaN 1; 0 0 0], 0.1)(1, :), [1 1 exp(-10)], 1e-15);  % NaN differences count 0
%!error id=lantrelWeights:badValue lantrelWeights(1, 0)
%!error id=lantrelWeights:badValue lantrelWeights(1, Inf)
%!error id=lantrelWeights:badValue lantrelWeights(1, [1 2])
%!error id=lantrelWeights:badImage lantrelWeights('a')
%!error id=lantrelWeights:usage lantrelWeights()
%!error id=lantrelWeights:badImage lantrelWeights(zeros(2, 2, 2, 2))
