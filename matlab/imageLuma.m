%IMAGELUMA Rec. 709 luma of a colour image, on the scale [0, 1].
%   Y = IMAGELUMA(RGB) returns 0.2126 R + 0.7152 G + 0.0722 B for every
%   pixel of the M x N x 3 image RGB, after scaling its values to [0, 1]
%   the way IM2DOUBLE does. The luma is taken of the stored values as they
%   are (no gamma is undone), in exactly the order of operations of the
%   command-line tool ostrave, so both give the same bits.
%   Y = IMAGELUMA(GREY) returns the M x N image GREY scaled the same way.
%
%   Input
%     RGB   M x N x 3 (colour) or M x N (grey) real array of class uint8
%           (divided by 255), uint16 (by 65535), int16 ((x + 32768) / 65535),
%           single or double (taken as they are) or logical (0 or 1).
%
%   Output
%     Y     M x N double.
%
%   Errors (identifier, when)
%     imageLuma:badImage   not a real, full array of one of the classes above,
%                          or a third dimension other than 1 or 3
%     imageLuma:usage      no input
%
%   Example
%     rgb = imread('data/ladybird.png');   % 320 x 320 x 3 uint8
%     y = imageLuma(rgb);                  % 320 x 320 double in [0, 1]
%
%   See also OSTRAVEDIRECTIONS, OSTRAVEVARIATION, LANTRELWEIGHTS.

function y = imageLuma(rgb)
  if nargin < 1
    error('imageLuma:usage', 'Invalid call to imageLuma. Use\n  Y = imageLuma(RGB)\n  Y = imageLuma(GREY)');
  end
  checkImage(rgb, 'imageLuma:badImage', 'image');
  c = size(rgb, 3);
  if ndims(rgb) > 3 || (c ~= 1 && c ~= 3)
    error('imageLuma:badImage', ...
          'The image must be M x N (grey) or M x N x 3 (colour), not of size %s.', ...
          mat2str(size(rgb)));
  end
  if c == 1 && isa(rgb, 'double')
    y = rgb;
  else
    y = lantrelops('luma', rgb, 0);
  end
end


%!test
%! % the tools' order of operations, and im2double's scaling per class
%! rgb = uint8(cat(3, [0 255; 10 200], [255 0; 20 100], [17 34; 30 0]));
%! r = double(rgb) / 255;
%! expect = 0.2126 * r(:,:,1) + 0.7152 * r(:,:,2) + 0.0722 * r(:,:,3);
%! assert(isequal(imageLuma(rgb), expect));
%! assert(isequal(imageLuma(uint16(rgb) * 257), expect));
%! assert(isequal(imageLuma(r), expect));
%! assert(imageLuma(int16([-32768 32767])), [0 1]);
%! assert(imageLuma([true false]), [1 0]);
%! assert(class(imageLuma(single(r))), 'double');
%!error id=imageLuma:badImage imageLuma(zeros(2, 2, 2))
%!error id=imageLuma:badImage imageLuma(int32(1))
%!error id=imageLuma:badImage imageLuma({1})
%!error id=imageLuma:badImage imageLuma(1i)
%!error id=imageLuma:usage imageLuma()
