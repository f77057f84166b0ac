%OSTRAVEDIRECTIONS Direction map of an image, in whole degrees, for OSTRAVE.
%   D = OSTRAVEDIRECTIONS(I) returns, for every pixel of I, the direction of
%   its Sobel gradient (across the local edge) in whole degrees 0..359: the
%   direction map that OSTRAVEVARIATION and the command-line tool ostrave
%   use, to be read with the table of OSTRAVETABLE.
%   D = OSTRAVEDIRECTIONS(I, ALONG) with ALONG = 'gradient' (the default)
%   or 'edge': 'edge' turns every direction by 90 degrees, so that the path
%   follows the edge instead of crossing it.
%
%   With x growing to the right along a row and y growing down the image,
%     gx = Sobel difference along x, (f(i-1,j+1) + 2 f(i,j+1) + f(i+1,j+1))
%          - (f(i-1,j-1) + 2 f(i,j-1) + f(i+1,j-1)),
%     gy = the same along y,
%     D  = round(atan2(gy, gx) * 180/pi + TURN), taken modulo 360,
%   with TURN = 0 or 90, on I scaled to [0, 1] like IM2DOUBLE (colour: its
%   luma, see IMAGELUMA). Pixels on the border repeat their nearest
%   neighbours. Where the gradient is flat, gx^2 + gy^2 < 1e-18 (a magnitude
%   below 1e-9, far below the smallest step of a 16-bit image, 1/65535, and
%   far above rounding noise, about 1e-15), or NaN, the direction is 0
%   whatever ALONG is: the angle of such a gradient would be rounding noise.
%   The tool computes the same map in the same order, with the toolbox's
%   own atan2 and rounding, so every platform gives the same map.
%
%   Inputs
%     I      M x N (grey) or M x N x 3 (colour) real array of class uint8,
%            uint16, int16, single, double or logical (see IMAGELUMA).
%     ALONG  'gradient' (default) or 'edge', case-insensitive.
%
%   Output
%     D      M x N double of whole degrees 0..359; 0 means to the right,
%            90 down, 180 left, 270 up.
%
%   Errors (identifier, when)
%     ostraveDirections:badImage  see IMAGELUMA's imageLuma:badImage
%     ostraveDirections:badValue  ALONG is not 'gradient' or 'edge'
%     ostraveDirections:usage     no input
%
%   Example
%     img = imread('data/ladybird.png');
%     d = ostraveDirections(img, 'edge');
%     [nc, tv] = Ostrave(imageLuma(img), d, ostraveTable(), 4);
%
%   See also OSTRAVETABLE, OSTRAVEVARIATION, OSTRAVE, IMAGELUMA.

function d = ostraveDirections(img, along)
  if nargin < 1
    error('ostraveDirections:usage', ['Invalid call to ostraveDirections. Use\n' ...
          '  D = ostraveDirections(I)\n  D = ostraveDirections(I, ALONG)']);
  end
  if nargin < 2
    along = 'gradient';
  end
  if ~ischar(along) || size(along, 1) ~= 1 || ~any(strcmpi(along, {'gradient', 'edge'}))
    error('ostraveDirections:badValue', 'ALONG must be ''gradient'' or ''edge'' (one row of text).');
  end
  turn = 90 * strcmpi(along, 'edge');
  checkImage(img, 'ostraveDirections:badImage', 'image');
  if ndims(img) > 3 || (size(img, 3) ~= 1 && size(img, 3) ~= 3)
    error('ostraveDirections:badImage', ...
          'The image must be M x N (grey) or M x N x 3 (colour), not of size %s.', mat2str(size(img)));
  end
  % the luma and its gradient in one call, on every core
  d = lantrelops('directions', img, turn, 0);
end

%!test
%! % steps: up to the right 0, down to the right 180, down the image 90;
%! % along the edge 90 more; flat pixels 0 whatever ALONG is
%! step = [ones(4, 2) zeros(4, 3)];
%! assert(ostraveDirections(step), repmat([0 180 180 0 0], 4, 1));
%! assert(ostraveDirections(1 - step, 'EDGE'), repmat([0 90 90 0 0], 4, 1));
%! assert(ostraveDirections(1 - step', 'edge'), repmat([0 180 180 0 0]', 1, 4));
%!test
%! % a ramp, rounded to whole degrees: atan2(1, 2) is 26.57 degrees
%! [x, y] = meshgrid(0:5, 0:5);
%! d = ostraveDirections((2 * x + y) / 20);
%! assert(d(2:5, 2:5), repmat(27, 4, 4));
%! d = ostraveDirections(-(2 * x + y) / 20);
%! assert(d(2:5, 2:5), repmat(207, 4, 4));
%!test
%! % below the threshold the angle is noise and the direction 0; above it
%! % the angle counts; a NaN in the neighbourhood gives 0
%! f = zeros(5); f(:, 4:5) = -1e-12;
%! assert(ostraveDirections(f, 'edge'), zeros(5));
%! f(:, 4:5) = -1e-9;
%! assert(ostraveDirections(f, 'edge')(3, :), [0 0 270 270 0]);
%! f(3, 5) = NaN;
%! assert(ostraveDirections(f, 'edge')(:, 4)', [270 0 0 0 270]);
%!test
%! % colour through its luma, integer classes scaled
%! rgb = uint8(cat(3, [0 0 200; 0 0 200], zeros(2, 3), [0 0 10; 0 0 10]));
%! assert(isequal(ostraveDirections(rgb), ostraveDirections(imageLuma(rgb))));
%! assert(size(ostraveDirections(zeros(0, 3))), [0 3]);
%!error id=ostraveDirections:badValue ostraveDirections(1, 'across')
%!error id=ostraveDirections:badValue ostraveDirections(1, ['edge'; 'edge'])
%!error id=ostraveDirections:usage ostraveDirections()
%!error id=ostraveDirections:badImage ostraveDirections(zeros(2, 2, 2))
