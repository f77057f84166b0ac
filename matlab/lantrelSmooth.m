%LANTRELSMOOTH Edge-preserving smoothing of an image of any class, with defaults.
%   J = LANTRELSMOOTH(I) smooths the grey or colour image I with LANTREL,
%   using weights from the image's own edges (LANTRELWEIGHTS) and the
%   default parameters below, and returns J in the class of I.
%   J = LANTRELSMOOTH(I, NAME, VALUE, ...) sets parameters by name (names
%   are case-insensitive):
%
%     'Lambda'       smoothing strength, real scalar >= 0 (default 12).
%                    With weights 1 the first round averages over about
%                    sqrt(LAMBDA/2) pixels; 0 leaves the image as it is.
%     'Sigma'        edge scale of the weights, real scalar > 0, in units of
%                    the full intensity range (default 0.03): a step of
%                    SIGMA between neighbours gives weight exp(-1). Smaller
%                    keeps fainter edges, larger smooths across them.
%     'Iterations'   number of rounds, a whole number 0 to 1e6 (default 4).
%     'Attenuation'  divisor of the strength between rounds, real scalar > 0
%                    (default 2): round k (k = 0, 1, ...) uses strength
%                    LAMBDA/2 divided k times by ATTENUATION.
%     'Weights'      an M x N weight map to use instead of the computed one
%                    (then 'Sigma' is not used); integer and logical maps
%                    are scaled to [0, 1] as the image is. 1 smooths, 0 keeps.
%     'Threads'      number of threads, a whole number >= 0 (default 0, one
%                    per core); never changes the result.
%
%   These defaults are those of the command-line tool lantrel; they were
%   chosen on the photo data/ladybird.png, where they remove the grain of
%   the flat background and keep the beetle's head, legs and spots (larger
%   SIGMA, 0.1 and up, smooths them away). The demo of the sources smooths
%   a synthetic scene with noise of its own and keeps parameters of its own.
%
%   Input
%     I   M x N (grey) or M x N x 3 (colour) real array: uint8, uint16,
%         int16, single, double or logical, scaled to [0, 1] the way
%         IM2DOUBLE scales (uint8 / 255, uint16 / 65535, int16 offset by
%         32768 then / 65535; single, double and logical as they are).
%         Every channel is smoothed with one shared weight map, whose
%         edges are the largest over the channels.
%
%   Output
%     J   the smoothed image, of the size and class of I, except that a
%         logical I gives double. Integer classes are rounded and
%         saturated (as IM2UINT8, IM2UINT16, IM2INT16 do).
%
%   A double or single image is read on the scale [0, 1]; one whose values
%   go past 2 in magnitude (say 0 to 255, from double() of a uint8 image)
%   gets the warning lantrelSmooth:range, since every step in it looks like
%   an edge and nothing would be smoothed.
%
%   Errors (identifier, when)
%     lantrelSmooth:badImage          I not a real, full array of a class
%                                     above, or not M x N or M x N x 3
%     lantrelSmooth:badOption         an unknown option name, a name that
%                                     is not text, or a name without value
%     lantrelSmooth:badValue          an option value out of its range or
%                                     of the wrong class
%     lantrelSmooth:weightSize        'Weights' not of the image's M x N size
%     lantrelSmooth:strengthTooLarge  a round's strength above 1e10 (the
%                                     bound of the command-line tools: past
%                                     it, rounding swamps the image), e.g.
%                                     a small ATTENUATION with many rounds
%
%   Example
%     rgb = imread('data/ladybird.png');
%     out = lantrelSmooth(rgb);                               % uint8, defaults
%     soft = lantrelSmooth(rgb, 'Lambda', 40, 'Sigma', 0.05);  % smoother
%     imshow([rgb out soft])
%
%   See also LANTRELWEIGHTS, LANTREL, OSTRAVEVARIATION.

function out = lantrelSmooth(img, varargin)
  opts = struct('lambda', 12, 'sigma', 0.03, 'iterations', 4, 'attenuation', 2, ...
                'weights', [], 'threads', 0);
  given = struct('weights', false);
  if mod(numel(varargin), 2) ~= 0
    error('lantrelSmooth:badOption', 'Options come in name-value pairs; %d arguments follow the image.', ...
          numel(varargin));
  end
  for k = 1:2:numel(varargin)
    name = varargin{k};
    if ~ischar(name) || size(name, 1) ~= 1 || ~isfield(opts, lower(name))
      error('lantrelSmooth:badOption', ...
            'Unknown option %s: the options are Lambda, Sigma, Iterations, Attenuation, Weights and Threads.', ...
            describe(name));
    end
    name = lower(name);
    value = varargin{k + 1};
    if strcmp(name, 'weights')
      given.weights = true;
    elseif ~isnumeric(value) || ~isreal(value) || ~isscalar(value) || issparse(value)
      error('lantrelSmooth:badValue', '%s must be a real numeric scalar.', optionName(name));
    end
    opts.(name) = value;
  end
  checkRange(opts.lambda >= 0 && isfinite(opts.lambda), 'Lambda', 'a number >= 0');
  checkRange(opts.sigma > 0 && isfinite(opts.sigma), 'Sigma', 'a number > 0');
  checkRange(opts.attenuation > 0 && isfinite(opts.attenuation), 'Attenuation', 'a number > 0');
  checkRange(isWhole(opts.iterations) && opts.iterations <= 1e6, 'Iterations', 'a whole number from 0 to 1e6');
  checkRange(isWhole(opts.threads), 'Threads', 'a whole number >= 0');
  lambda = double(opts.lambda);
  attenuation = double(opts.attenuation);
  iterations = double(opts.iterations);

  % The strength of every round, in the module's own order of operations.
  s = 0.5 * lambda;
  for k = 0:iterations - 1
    if s > 1e10
      error('lantrelSmooth:strengthTooLarge', ...
            'Round %d of %d would smooth with strength %g, above 1e10 (Lambda %g, Attenuation %g).', ...
            k + 1, iterations, s, lambda, attenuation);
    end
    if attenuation >= 1
      break;  % the strength can only fall from here
    end
    s = s / attenuation;
  end

  cls = class(img);
  x = imageToUnit(img, 'lantrelSmooth:badImage', 'image');
  if any(strcmp(cls, {'double', 'single'})) && any(abs(x(isfinite(x))) > 2)
    warning('lantrelSmooth:range', ...
            ['The image''s values reach %g, but a %s image is read on the scale [0, 1] (as IM2DOUBLE ' ...
             'gives), where SIGMA = %g finds edges everywhere: scale it to [0, 1] or pass the integer image.'], ...
            max(abs(x(isfinite(x)))), cls, opts.sigma);
  end
  [m, n, c] = size(x);
  if ndims(x) > 3 || (c ~= 1 && c ~= 3)
    error('lantrelSmooth:badImage', 'The image must be M x N (grey) or M x N x 3 (colour), not of size %s.', ...
          mat2str(size(img)));
  end
  if given.weights
    w = opts.weights;
    if ~(isnumeric(w) || islogical(w)) || ~isreal(w) || issparse(w)
      error('lantrelSmooth:badValue', 'Weights must be a real, full numeric or logical array, not %s.', class(w));
    end
    if ndims(w) ~= 2 || size(w, 1) ~= m || size(w, 2) ~= n
      error('lantrelSmooth:weightSize', 'Weights must be %d x %d, the image''s size, not %s.', ...
            m, n, mat2str(size(w)));
    end
    w = imageToUnit(w, 'lantrelSmooth:badImage', 'weight map');
  else
    w = lantrelWeights(x, opts.sigma);
  end
  if isempty(x)
    j = x;
  else
    j = Lantrel(x, [], w, [], lambda, iterations, attenuation, double(opts.threads));
  end

  switch cls
    case 'uint8'
      out = uint8(j * 255);
    case 'uint16'
      out = uint16(j * 65535);
    case 'int16'
      out = int16(j * 65535 - 32768);
    case 'single'
      out = single(j);
    otherwise
      out = j;
  end
end


function checkRange(ok, name, what)
  if ~ok
    error('lantrelSmooth:badValue', '%s must be %s.', name, what);
  end
end

function ok = isWhole(v)
  ok = v >= 0 && v == round(v) && isfinite(v);
end

function name = optionName(field)
  names = {'Lambda', 'Sigma', 'Iterations', 'Attenuation', 'Weights', 'Threads'};
  name = names{strcmpi(names, field)};
end

function text = describe(name)
  if ischar(name) && size(name, 1) == 1
    text = ['''' name ''''];
  else
    text = ['of class ' class(name)];
  end
end

%!shared img
%! img = uint8(repmat([20 20 20 200 200 200], 5, 1) + [0 6 0 0 6 0; 6 0 6 6 0 6; 0 6 0 0 6 0; 6 0 6 6 0 6; 0 6 0 0 6 0]);

%!test
%! % the defaults; classes in and out; the noise goes, the step stays
%! x = double(img) / 255;
%! expect = Lantrel(x, [], lantrelWeights(x, 0.03), [], 12, 4, 2);
%! assert(isequal(lantrelSmooth(x), expect));
%! assert(isequal(lantrelSmooth(img), uint8(expect * 255)));
%! assert(isequal(lantrelSmooth(uint16(img) * 257), uint16(expect * 65535)));
%! s = lantrelSmooth(single(x));
%! assert(class(s), 'single');
%! assert(double(s), expect, 1e-6);
%! assert(isequal(lantrelSmooth(int16(double(img) * 257 - 32768)), int16(expect * 65535 - 32768)));
%! out = lantrelSmooth(img);
%! assert(std(double(out(:, 1))) < std(double(img(:, 1))) / 2 && min(out(:, 4)) > 190);
%! assert(class(lantrelSmooth(img > 100)), 'double');
%!test
%! % names in any case; colour: one weight map, edges from every channel
%! rgb = cat(3, img, img(:, end:-1:1), zeros(5, 6, 'uint8'));
%! w = lantrelWeights(rgb, 0.05);
%! out = lantrelSmooth(rgb, 'sigma', 0.05, 'LAMBDA', 3, 'Iterations', 2, 'attenuation', 4);
%! assert(isequal(out, uint8(Lantrel(double(rgb) / 255, [], w, [], 3, 2, 4) * 255)));
%! assert(isequal(lantrelSmooth(rgb, 'Weights', w, 'Lambda', 3), uint8(Lantrel(double(rgb) / 255, [], w, [], 3, 4, 2) * 255)));
%! assert(isequal(lantrelSmooth(img, 'Weights', uint8(255 * ones(5, 6))), lantrelSmooth(img, 'Weights', ones(5, 6))));
%! assert(isequal(lantrelSmooth(img, 'Lambda', 0), img));
%! assert(size(lantrelSmooth(zeros(0, 3, 3))), [0 3 3]);
%!test
%! % the strength bound: round k has Lambda/2 divided k times by Attenuation
%! lantrelSmooth(img, 'Lambda', 2e10, 'Iterations', 1);
%! lantrelSmooth(img, 'Lambda', 1, 'Attenuation', 0.5, 'Iterations', 35);  % 0.5 * 2^34 < 1e10
%! try
%!   lantrelSmooth(img, 'Lambda', 1, 'Attenuation', 0.5, 'Iterations', 36);
%!   error('no error');
%! catch err
%!   assert(err.identifier, 'lantrelSmooth:strengthTooLarge');
%!   assert(!isempty(strfind(err.message, 'Round 36 of 36')));
%! end
%!error id=lantrelSmooth:strengthTooLarge lantrelSmooth(1, 'Lambda', 2e10 + 4)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Attenuation', 0)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Attenuation', Inf)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Lambda', -1)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Lambda', NaN)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Iterations', 2.5)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Sigma', [1 2])
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Threads', -1)
%!error id=lantrelSmooth:weightSize lantrelSmooth(ones(2, 3), 'Weights', ones(3, 2))
%!error id=lantrelSmooth:badValue lantrelSmooth(ones(2, 3), 'Weights', 'abcdef')
%!warning id=lantrelSmooth:range lantrelSmooth([0 255])
%!error id=lantrelSmooth:badOption lantrelSmooth(1, 'Lamda', 3)
%!error id=lantrelSmooth:badOption lantrelSmooth(1, 'Lambda')
%!error id=lantrelSmooth:badOption lantrelSmooth(1, 20, 4)
%!error id=lantrelSmooth:badImage lantrelSmooth(zeros(2, 2, 2))
%!error id=lantrelSmooth:badImage lantrelSmooth(int32(1))
