%LANTRELSMOOTH Edge-preserving smoothing of an image of any class, with defaults.
%   J = LANTRELSMOOTH(I) smooths the grey or colour image I with LANTREL,
%   using weights from the image's own edges (LANTRELWEIGHTS), with SIGMA
%   and LAMBDA chosen from the image's noise (below), and returns J in the
%   class of I.
%   J = LANTRELSMOOTH(I, NAME, VALUE, ...) sets parameters by name (names
%   are case-insensitive):
%
%     'Lambda'       smoothing strength, real scalar >= 0 (default: from
%                    the noise, below). With weights 1 the first round
%                    averages over about sqrt(LAMBDA/2) pixels; 0 leaves
%                    the image as it is.
%     'Sigma'        edge scale of the weights, real scalar > 0, in units of
%                    the full intensity range (default: from the noise): a
%                    step of SIGMA between neighbours gives weight exp(-1).
%                    Smaller keeps fainter edges, larger smooths across them.
%                    Past 1 even a step over the full range weighs more
%                    than exp(-1): a value above 1 (grey levels, say) gets
%                    the warning lantrelSmooth:sigmaScale.
%     'Iterations'   number of rounds, a whole number 0 to 1000 (default 4).
%                    Why 1000: with ATTENUATION 2 even the largest strength
%                    allowed (1e10, about 2^33) falls below 2^-53, the last
%                    bit of a value near 1, by round 90, so later rounds
%                    change nothing visible; with ATTENUATION 1 every round
%                    costs as much as the first (0.01 to 0.03 s a megapixel
%                    on one core: 1000 rounds of 4000 x 4000 take minutes),
%                    and k rounds spread about as far as one with k times
%                    the strength, which is far quicker. LANTREL takes more.
%     'Attenuation'  divisor of the strength between rounds, real scalar > 0
%                    (default 2): round k (k = 0, 1, ...) uses strength
%                    LAMBDA/2 divided k times by ATTENUATION.
%     'Weights'      an M x N weight map to use instead of the computed one
%                    (then 'Sigma' is not used); integer and logical maps
%                    are scaled to [0, 1] as the image is. 1 smooths, 0 keeps.
%                    Every value must be finite and >= 0; the largest one
%                    multiplies the strength (see strengthTooLarge below).
%     'Threads'      number of threads, a whole number >= 0 (default 0, one
%                    per core); never changes the result.
%
%   [J, USED] = LANTRELSMOOTH(...) also returns what was used, a struct
%   with the fields Sigma, Lambda, Iterations, Attenuation, Noise (the
%   estimate of IMAGENOISE, on the scale [0, 1]) and Guide: 'pilot',
%   'image' or 'Weights', what the weights came from (Sigma is NaN when
%   'Weights' replaced it).
%
%   Defaults from the noise. With N = IMAGENOISE(I), the noise's standard
%   deviation on the scale [0, 1], and G = 255 * N the same in grey levels
%   of 8 bits:
%
%   - Neither 'Sigma' nor 'Weights' given: the weights come from a pilot,
%     I smoothed once with SIGMA0 = 2 * N + 0.003 and LAMBDA0 = 0.5 * G^0.75
%     (and the weights of I itself), in which the edges are no longer hidden
%     in the noise: LANTRELWEIGHTS(pilot, SIGMA) with
%         SIGMA  = min(SIGMA0, 0.035)
%         LAMBDA = 0.4 * G^0.75      (0.4 at G = 1, 2.2 at 10, 5.1 at 30)
%     and I itself is smoothed with them (USED.Guide is 'pilot').
%   - 'Sigma' or 'Weights' given: the weights as given, from I itself, and
%         LAMBDA = 0.5 * G^0.75
%     (USED.Guide is 'image' or 'Weights').
%
%   A given value is used as it is. The rules were fitted on three of the
%   project's photos (ladybird, dune, wood in data/, grey and colour, noise
%   of 0.5 to 30 grey levels: the best SIGMA and LAMBDA at each level) and
%   checked on two held out (storm, meadow); bench/quality.m measures them
%   beside other filters. A noise-free uint8 photo reads as about 0.5
%   grey level of noise (its own rounding), which gives SIGMA about 0.007
%   and LAMBDA about 0.25: it changes by less than 0.1 grey level on
%   average. A constant image reads as no noise and comes back as it is.
%
%   Until version 0.1 the defaults were fixed, LAMBDA 12 and SIGMA 0.03
%   (chosen on data/ladybird.png); pass them to get the old results.
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
%   NaN pixels of a single or double image are missing data: they come back
%   NaN and change no other pixel. Every coupling of such a pixel with its
%   neighbours is cut (its weight and those of its left and upper
%   neighbours set to 0; as one weight serves both passes, this also cuts
%   the left neighbour from the pixel below it and the upper neighbour from
%   the pixel right of it). Inf and -Inf pixels are treated the same way and
%   come back as they were: no intensity can be averaged with them, and
%   like NaN they mostly mark a sample that went wrong upstream (a division
%   by zero), which stays in view where it was instead of stopping the call.
%   A colour pixel missing in one channel keeps its other channels as they
%   are.
%
%   Errors (identifier, when)
%     lantrelSmooth:usage             no input, or not text where the
%                                     options start (lantrelSmooth(12, I))
%     lantrelSmooth:badImage          I not a real, full array of a class
%                                     above, or not M x N or M x N x 3
%     lantrelSmooth:badOption         an unknown option name, a name that
%                                     is not text, or a name without value
%     lantrelSmooth:badValue          an option value out of its range or
%                                     of the wrong class (a weight map of
%                                     class int8, say), or a weight that is
%                                     NaN, Inf or negative (the message
%                                     names the first one's row and column)
%     lantrelSmooth:weightSize        'Weights' not of the image's M x N size
%     lantrelSmooth:strengthTooLarge  a round's strength, times the largest
%                                     weight where that is above 1, above
%                                     1e10 (the bound of the command-line
%                                     tools: past it, rounding swamps the
%                                     image), e.g. a small ATTENUATION with
%                                     many rounds
%
%   Example
%     rgb = imread(file_in_loadpath('ladybird.png'));          % Octave package
%     [out, used] = lantrelSmooth(rgb)                         % uint8, defaults
%     soft = lantrelSmooth(rgb, 'Lambda', 40, 'Sigma', 0.05);  % smoother
%     imshow([rgb out soft])
%
%   See also IMAGENOISE, LANTRELWEIGHTS, LANTREL, OSTRAVEVARIATION.

function [out, used] = lantrelSmooth(img, varargin)
  if nargin < 1 || (~isempty(varargin) && ~ischar(varargin{1}))
    error('lantrelSmooth:usage', ['Invalid call to lantrelSmooth. Use\n' ...
          '  J = lantrelSmooth(I)\n  J = lantrelSmooth(I, NAME, VALUE, ...)\n  [J, USED] = lantrelSmooth(...)\n' ...
          'with the image first and options as name-value pairs (see help lantrelSmooth).']);
  end
  % Sigma and Lambda stay empty unless given: then the noise rule sets them.
  opts = struct('lambda', [], 'sigma', [], 'iterations', 4, 'attenuation', 2, ...
                'weights', [], 'threads', 0);
  given = struct('weights', false);
  if mod(numel(varargin), 2) ~= 0
    if numel(varargin) == 1
      count = '1 argument follows';
    else
      count = sprintf('%d arguments follow', numel(varargin));
    end
    error('lantrelSmooth:badOption', 'Options come in name-value pairs, but %s the image.', count);
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
    else
      problem = notScalar(value);
      if ~isempty(problem)
        error('lantrelSmooth:badValue', '%s must be a real numeric scalar, not %s.', optionName(name), problem);
      end
    end
    opts.(name) = value;
  end
  checkRange(isempty(opts.lambda) || (opts.lambda >= 0 && isfinite(opts.lambda)), 'Lambda', 'a number >= 0');
  checkRange(isempty(opts.sigma) || (opts.sigma > 0 && isfinite(opts.sigma)), 'Sigma', 'a number > 0');
  checkRange(opts.attenuation > 0 && isfinite(opts.attenuation), 'Attenuation', 'a number > 0');
  % The bound on the rounds: why 1000, see the help.
  checkRange(isWhole(opts.iterations) && opts.iterations <= 1000, 'Iterations', 'a whole number from 0 to 1000');
  checkRange(isWhole(opts.threads), 'Threads', 'a whole number >= 0');
  if ~isempty(opts.sigma) && opts.sigma > 1
    warning('lantrelSmooth:sigmaScale', ['Sigma %g is past 1, where even a step over the full range ' ...
            'weighs more than exp(-1): Sigma is on the scale [0, 1] (grey levels of a uint8 image: ' ...
            'divide by 255).'], ...
            double(opts.sigma));
  end
  attenuation = double(opts.attenuation);
  iterations = double(opts.iterations);
  if ~isempty(opts.lambda)
    checkStrength(double(opts.lambda), attenuation, iterations, 1);
  end

  cls = class(img);
  checkImage(img, 'lantrelSmooth:badImage', 'image');
  if isfloat(img) && any(abs(img(isfinite(img))) > 2)
    warning('lantrelSmooth:range', ...
            ['The image''s values reach %g, but a %s image is read on the scale [0, 1] (as IM2DOUBLE ' ...
             'gives), where every step looks like an edge: scale it to [0, 1] or pass the integer image.'], ...
            double(max(abs(img(isfinite(img))))), cls);
  end
  [m, n, c] = size(img);
  if ndims(img) > 3 || (c ~= 1 && c ~= 3)
    error('lantrelSmooth:badImage', 'The image must be M x N (grey) or M x N x 3 (colour), not of size %s.', ...
          mat2str(size(img)));
  end
  if given.weights
    w = imageToUnit(opts.weights, 'lantrelSmooth:badValue', 'weight map');
    if ndims(w) ~= 2 || size(w, 1) ~= m || size(w, 2) ~= n
      error('lantrelSmooth:weightSize', 'Weights must be %d x %d, the image''s size, not %s.', ...
            m, n, mat2str(size(w)));
    end
    bad = find(~(w >= 0 & w < Inf), 1);
    if ~isempty(bad)
      [row, col] = ind2sub(size(w), bad);
      error('lantrelSmooth:badValue', 'Weights must be finite and >= 0, but Weights(%d, %d) is %g.', ...
            row, col, w(bad));
    end
  end

  % NaN and Inf pixels are missing data: cut every coupling they take part
  % in (W(i,j) couples (i,j) with (i,j+1) in the row pass and with (i+1,j)
  % in the column pass), so that the solves pass them by exactly and
  % nothing reaches the other pixels; a finite stand-in keeps 0 * value
  % at 0, and the values come back afterwards. The stand-in goes in before
  % the noise is measured and the pilot is smoothed, which would otherwise
  % see only NaN.
  % Integer and logical images have no missing pixels; while none is
  % missing, the weights and the noise are read from the image as it came
  % (same values, a fraction of the bytes).
  source = img;
  cut = false;
  if isfloat(img)
    missing = ~isfinite(img);
    pixel = any(missing, 3);
    cut = pixel;
  end
  if any(cut(:))
    cut(:, 1:n - 1) = cut(:, 1:n - 1) | pixel(:, 2:n);
    cut(1:m - 1, :) = cut(1:m - 1, :) | pixel(2:m, :);
    x = double(img);
    kept = x(missing);
    x(missing) = 0;
    source = x;
  end

  noise = NaN;
  if isempty(opts.lambda) || (isempty(opts.sigma) && ~given.weights) || nargout > 1
    noise = imageNoise(source);
    if ~isfinite(noise)
      noise = 0;  % nothing finite to measure: the rule then leaves the image as it is
    end
  end
  % Without Sigma or Weights, the weights come from a pilot: the image
  % smoothed once by the single-pass rule, whose edges are no longer hidden
  % in the noise.
  pilot = isempty(opts.sigma) && ~given.weights;
  pilotSigma = 2 * noise + 0.003;
  pilotLambda = 0.5 * (255 * noise) ^ 0.75;
  if pilot
    opts.sigma = min(pilotSigma, 0.035);
  end
  if isempty(opts.lambda) && pilot
    opts.lambda = 0.8 * pilotLambda;   % the pilot's edges are cleaner: smooth a little less
  elseif isempty(opts.lambda)
    opts.lambda = pilotLambda;
  end
  lambda = double(opts.lambda);
  checkStrength(lambda, attenuation, iterations, 1);

  if given.weights && ~isempty(w)
    checkStrength(lambda, attenuation, iterations, max(w(:)));
  end
  if ~any(cut(:))
    % The whole road in one call: the same bits as the steps below, without
    % the host copying every intermediate image.
    [wArg, sigmaArg, pilotArg] = deal([], 0, 0);
    if given.weights
      wArg = w;
    else
      sigmaArg = double(opts.sigma);
    end
    if pilot
      pilotArg = pilotSigma;
    end
    out = lantrelops('smooth', 'lantrelSmooth', img, wArg, pilotArg, pilotLambda, sigmaArg, lambda, ...
                     iterations, attenuation, double(opts.threads));
  else
    % Missing pixels: decoupled from their neighbours, with a stand-in
    % value, and given back as they were.
    if given.weights
      % w as given
    elseif pilot
      pw = lantrelWeights(source, pilotSigma);
      pw(cut) = 0;
      guide = Lantrel(x, [], pw, [], pilotLambda, iterations, attenuation, double(opts.threads));
      w = lantrelWeights(guide, opts.sigma);
      clear guide pw   % their memory serves the final call
    else
      w = lantrelWeights(source, opts.sigma);
    end
    w(cut) = 0;
    j = Lantrel(x, [], w, [], lambda, iterations, attenuation, double(opts.threads));
    clear x w source
    j(missing) = kept;
    if strcmp(cls, 'single')
      out = single(j);
    else
      out = j;
    end
  end
  if nargout > 1
    sigma = double(opts.sigma);
    if given.weights
      sigma = NaN;
    end
    guideName = 'image';
    if pilot
      guideName = 'pilot';
    elseif given.weights
      guideName = 'Weights';
    end
    used = struct('Sigma', sigma, 'Lambda', lambda, 'Iterations', iterations, 'Attenuation', attenuation, ...
                  'Noise', noise, 'Guide', guideName);
  end
end


function checkStrength(lambda, attenuation, iterations, wmax)
  % The strength of every round, in the module's own order of operations,
  % times the largest weight where that is above 1.
  scale = max(1, wmax);
  s = 0.5 * lambda;
  for k = 0:iterations - 1
    if s * scale > 1e10
      if scale > 1
        extra = sprintf(', times the largest weight %g', scale);
      else
        extra = '';
      end
      error('lantrelSmooth:strengthTooLarge', ...
            'Round %d of %d would smooth with strength %g%s, above 1e10 (Lambda %g, Attenuation %g).', ...
            k + 1, iterations, s, extra, lambda, attenuation);
    end
    if attenuation >= 1
      break;  % the strength can only fall from here
    end
    s = s / attenuation;
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

function problem = notScalar(v)
  % What keeps V from being a real numeric scalar, or '' if nothing does.
  problem = '';
  if ~isnumeric(v)
    problem = class(v);
  elseif ~isreal(v)
    problem = 'complex';
  elseif issparse(v)
    problem = 'sparse';
  elseif ~isscalar(v)
    problem = sprintf('of size %s', mat2str(size(v)));
  end
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

%!demo
%! % The sample photo smoothed on purpose (top: Sigma 0.03 keeps the beetle
%! % and the blade, Lambda 12 flattens the grass's fine grain), and with
%! % noise of 10 grey levels smoothed by the defaults, which follow the
%! % noise (bottom; USED says what they were).
%! photo = file_in_loadpath('ladybird.png');   % installed package
%! if isempty(photo)   % sources: data/ above matlab/ or above build/octave/
%!   here = fileparts(file_in_loadpath('lantrelSmooth.m'));
%!   photo = fullfile(here, '..', 'data', 'ladybird.png');
%!   if ~exist(photo, 'file')
%!     photo = fullfile(here, '..', '..', 'data', 'ladybird.png');
%!   end
%! end
%! rgb = imread(photo);
%! randn('state', 1);
%! noisy = uint8(double(rgb) + 10 * randn(size(rgb)));
%! [out, used] = lantrelSmooth(noisy);
%! subplot(2, 2, 1); imshow(rgb); title('ladybird.png');
%! subplot(2, 2, 2); imshow(lantrelSmooth(rgb, 'Sigma', 0.03, 'Lambda', 12)); title('Sigma 0.03, Lambda 12');
%! subplot(2, 2, 3); imshow(noisy); title('+ noise of 10 grey levels');
%! subplot(2, 2, 4); imshow(out); title(sprintf('defaults: Sigma %.3f, Lambda %.2f', used.Sigma, used.Lambda));

%!shared img
%! img = uint8(repmat([20 20 20 200 200 200], 5, 1) + [0 6 0 0 6 0; 6 0 6 6 0 6; 0 6 0 0 6 0; 6 0 6 6 0 6; 0 6 0 0 6 0]);

%!test
%! % defaults from the noise; given values as they are; classes in and out
%! x = double(img) / 255;
%! n = imageNoise(x);
%! s0 = 2 * n + 0.003;
%! l0 = 0.5 * (255 * n) ^ 0.75;
%! guide = Lantrel(x, [], lantrelWeights(x, s0), [], l0, 4, 2);
%! expect = Lantrel(x, [], lantrelWeights(guide, min(s0, 0.035)), [], 0.8 * l0, 4, 2);
%! [out, used] = lantrelSmooth(x);
%! assert(isequal(out, expect));
%! assert(used, struct('Sigma', min(s0, 0.035), 'Lambda', 0.8 * l0, 'Iterations', 4, 'Attenuation', 2, ...
%!                     'Noise', n, 'Guide', 'pilot'));
%! expect = Lantrel(x, [], lantrelWeights(x, 0.03), [], 12, 4, 2);
%! assert(isequal(lantrelSmooth(x, 'Sigma', 0.03, 'Lambda', 12), expect));
%! assert(isequal(lantrelSmooth(img, 'Sigma', 0.03, 'Lambda', 12), uint8(expect * 255)));
%! assert(isequal(lantrelSmooth(uint16(img) * 257, 'Sigma', 0.03, 'Lambda', 12), uint16(expect * 65535)));
%! xs = double(single(x));
%! assert(isequal(lantrelSmooth(single(x), 'Sigma', 0.03, 'Lambda', 12), ...
%!                single(Lantrel(xs, [], lantrelWeights(xs, 0.03), [], 12, 4, 2))));
%! assert(isequal(lantrelSmooth(int16(double(img) * 257 - 32768), 'Sigma', 0.03, 'Lambda', 12), ...
%!                int16(expect * 65535 - 32768)));
%! assert(class(lantrelSmooth(img > 100)), 'double');
%! % Sigma given: no pilot, the single-pass Lambda; with a weight map Sigma is NaN
%! [out, used] = lantrelSmooth(x, 'Sigma', 0.05);
%! assert(isequal(out, Lantrel(x, [], lantrelWeights(x, 0.05), [], l0, 4, 2)) && strcmp(used.Guide, 'image'));
%! [~, used] = lantrelSmooth(x, 'Lambda', 3);
%! assert([used.Sigma used.Lambda], [min(s0, 0.035), 3]);
%! [~, used] = lantrelSmooth(x, 'Weights', ones(5, 6), 'Sigma', 0.2);
%! assert(isnan(used.Sigma) && used.Lambda == l0 && strcmp(used.Guide, 'Weights'));
%!test
%! % a colour photo's default road, shared by two threads: the bits of the steps
%! rand('seed', 5);
%! rgb = uint8(255 * rand(300, 480, 3));
%! x = double(rgb) / 255;
%! n = imageNoise(rgb);
%! guide = Lantrel(x, [], lantrelWeights(rgb, 2 * n + 0.003), [], 0.5 * (255 * n) ^ 0.75, 4, 2);
%! w = lantrelWeights(guide, min(2 * n + 0.003, 0.035));
%! assert(isequal(lantrelSmooth(rgb), uint8(Lantrel(x, [], w, [], 0.4 * (255 * n) ^ 0.75, 4, 2) * 255)));
%!test
%! % noise of 10 grey levels: smoothed to less than half, the step kept;
%! % a constant image (no noise) comes back as it is
%! randn('state', 2);
%! x = [0.2 * ones(40, 20) 0.8 * ones(40, 20)] + 10 / 255 * randn(40, 40);
%! [out, used] = lantrelSmooth(x);
%! assert(used.Noise * 255, 10, 1.5);
%! assert(std(out(:, 1:18)(:)) < std(x(:, 1:18)(:)) / 2 && min(out(:, 23)) > 0.7);
%! assert(isequal(lantrelSmooth(0.4 * ones(8)), 0.4 * ones(8)));
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
%!test
%! % missing pixels: NaN and Inf come back, the other pixels are those of
%! % the image with the pixel cut off (whatever finite value stands in it)
%! x = double(img) / 255;
%! x(3, 4) = NaN;
%! x(1, 1) = -Inf;
%! w = lantrelWeights(x);
%! w(3, 3:4) = 0; w(2, 4) = 0; w(1, 1) = 0;
%! a = x; a(3, 4) = 0; a(1, 1) = 0;
%! b = x; b(3, 4) = 0.9; b(1, 1) = -0.5;
%! keep = isfinite(x);
%! expect = Lantrel(a, [], w, [], 12, 4, 2);
%! other = Lantrel(b, [], w, [], 12, 4, 2);
%! assert(isequal(other(keep), expect(keep)) && all(isfinite(expect(:))));
%! out = lantrelSmooth(x, 'Sigma', 0.03, 'Lambda', 12);
%! assert(isnan(out(3, 4)) && out(1, 1) == -Inf && isequal(out(keep), expect(keep)));
%! % the defaults measure the noise and smooth the pilot without the missing pixels
%! [out, used] = lantrelSmooth(x);
%! assert(all(isfinite(out(keep))) && isnan(out(3, 4)) && used.Noise > 0 && used.Lambda > 0);
%! s = lantrelSmooth(single(x));
%! assert(strcmp(class(s), 'single') && isnan(s(3, 4)));
%! % colour: the other channels of the pixel stay as they are
%! rgb = cat(3, x, x, x); rgb(3, 4, [1 3]) = 0.5;
%! out = lantrelSmooth(rgb, 'Sigma', 0.03, 'Lambda', 12);
%! assert(isnan(out(3, 4, 2)) && isequal(squeeze(out(3, 4, [1 3])), [0.5; 0.5]));
%! c1 = out(:, :, 1);
%! assert(isequal(c1(keep), expect(keep)));
%!test
%! % weight maps: the first NaN, Inf or negative value named; the largest
%! % weight counts in the strength bound
%! rgb = uint8(255 * rand(120, 110, 3));
%! w = lantrelWeights(rgb);
%! lantrelSmooth(rgb, 'Lambda', 2e10, 'Iterations', 1, 'Weights', ones(120, 110));
%! cases = {NaN, 'badValue', 'Weights\(100, 100\) is NaN'; Inf, 'badValue', 'is Inf'; -1, 'badValue', 'is -1';
%!          1.5, 'strengthTooLarge', 'largest weight 1.5'};
%! for k = 1:rows(cases)
%!   v = w; v(110, 105) = cases{k, 1}; v(100, 100) = cases{k, 1};
%!   try
%!     lantrelSmooth(rgb, 'Lambda', 2e10, 'Iterations', 1, 'Weights', v);
%!     error('no error');
%!   catch err
%!     assert(err.identifier, ['lantrelSmooth:' cases{k, 2}]);
%!     assert(!isempty(regexp(err.message, cases{k, 3})), err.message);
%!   end
%! end
%!error id=lantrelSmooth:strengthTooLarge lantrelSmooth(img, 'Weights', 1e300 * ones(5, 6))
%!test
%! % messages: the usage for calls of another form, and the real problem
%! cases = {@() lantrelSmooth(), 'usage', 'J = lantrelSmooth\(I, NAME, VALUE'; @() lantrelSmooth(12, img), 'usage', 'Invalid call to lantrelSmooth';
%!          @() lantrelSmooth(1, 'Lambda'), 'badOption', '1 argument follows';
%!          @() lantrelSmooth(1, 'Lambda', 2, 'Sigma'), 'badOption', '3 arguments follow';
%!          @() lantrelSmooth(1, 'Lambda', 3, 20, 4), 'badOption', 'of class double';
%!          @() lantrelSmooth(1, 'Lambda', 1i), 'badValue', 'not complex';
%!          @() lantrelSmooth(1, 'Sigma', true), 'badValue', 'not logical';
%!          @() lantrelSmooth(1, 'Weights', int8(1)), 'badValue', 'int8';
%!          @() lantrelSmooth(1, 'Weights', sparse(1)), 'badValue', 'sparse';
%!          @() lantrelSmooth(1i), 'badImage', 'must be real'};
%! for k = 1:rows(cases)
%!   try
%!     cases{k, 1}();
%!     error('no error');
%!   catch err
%!     assert(err.identifier, ['lantrelSmooth:' cases{k, 2}]);
%!     assert(!isempty(regexp(err.message, cases{k, 3})), err.message);
%!   end
%! end
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Attenuation', 0)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Attenuation', Inf)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Lambda', -1)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Lambda', NaN)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Iterations', 2.5)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Iterations', 1001)
%!assert (lantrelSmooth(0.5, 'Iterations', 1000), 0.5)
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Sigma', [1 2])
%!error id=lantrelSmooth:badValue lantrelSmooth(1, 'Threads', -1)
%!error id=lantrelSmooth:weightSize lantrelSmooth(ones(2, 3), 'Weights', ones(3, 2))
%!error id=lantrelSmooth:badValue lantrelSmooth(ones(2, 3), 'Weights', 'abcdef')
%!warning id=lantrelSmooth:range x = lantrelSmooth([0 255]);
%!warning id=lantrelSmooth:sigmaScale x = lantrelSmooth(img, 'Sigma', 8);
%!error id=lantrelSmooth:badOption lantrelSmooth(1, 'Lamda', 3)
%!error id=lantrelSmooth:badOption lantrelSmooth(1, 'Lambda')
%!error id=lantrelSmooth:badImage lantrelSmooth(zeros(2, 2, 2))
%!error id=lantrelSmooth:badImage lantrelSmooth(int32(1))
