%IMAGETOUNIT Scale an image of any usual class to [0, 1], as IM2DOUBLE does.
%   X = IMAGETOUNIT(I) returns I as double: uint8 divided by 255, uint16 by
%   65535, int16 offset by 32768 and then divided by 65535, single and
%   logical converted, double as it is. This is also how the command-line
%   tools read PNG samples, so the helpers and the tools see the same values.
%
%   X = IMAGETOUNIT(I, ID, WHAT) raises errors with identifier ID and names
%   the input WHAT (default 'imageToUnit:badImage' and 'image').
%
%   Errors (identifier, when)
%     ID                  I not a real, full numeric or logical array, or
%                         of another class (int8, int32, ...); the
%                         message says which (complex, sparse, the class)
%     imageToUnit:usage   no input
%
%   Example
%     x = imageToUnit(uint8([0 51 255]))    % 0 0.2 1
%
%   See also IMAGELUMA, LANTRELWEIGHTS, LANTRELSMOOTH.

function x = imageToUnit(x, id, what)
  if nargin < 1
    error('imageToUnit:usage', 'Invalid call to imageToUnit. Use\n  X = imageToUnit(I)\n  X = imageToUnit(I, ID, WHAT)');
  end
  if nargin < 2
    id = 'imageToUnit:badImage';
  end
  if nargin < 3
    what = 'image';
  end
  checkImage(x, id, what);
  if ~isa(x, 'double')
    % one pass, on every core: uint8 / 255, uint16 / 65535,
    % (int16 + 32768) / 65535, single and logical as they are
    x = lantrelops('unit', x, 0);
  end
end

%!assert (imageToUnit(uint8([0 51 255])), [0 0.2 1])
%!assert (imageToUnit(int16([-32768 32767])), [0 1])
%!assert (imageToUnit(uint16(65535)), 1)
%!error id=imageToUnit:badImage imageToUnit(int32(1))
%!error id=my:id imageToUnit({1}, 'my:id', 'map')
%!error <map must be a numeric or logical array, not cell> imageToUnit({1}, 'my:id', 'map')
%!error <image must be real, not complex> imageToUnit(single(1i))
%!error <image must not be sparse> imageToUnit(sparse(1))
%!error id=imageToUnit:usage imageToUnit()
