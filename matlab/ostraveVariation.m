%OSTRAVEVARIATION Net change and total variation along straight paths, with defaults.
%   [NC, TV] = OSTRAVEVARIATION(I) runs OSTRAVE on the grey or colour image
%   I the way the command-line tool ostrave does: on I scaled to [0, 1]
%   (colour: its luma, see IMAGELUMA), along straight paths across the
%   local edge (OSTRAVEDIRECTIONS, OSTRAVETABLE), with half-length 4. For
%   every pixel NC is the net change between the start and the end of the
%   path through it, TV the total variation (sum of absolute differences
%   of successive samples) along it.
%   NC = OSTRAVEVARIATION(...) computes the net change alone.
%   [NC, TV] = OSTRAVEVARIATION(I, NAME, VALUE, ...) sets parameters by name
%   (names are case-insensitive):
%
%     'HalfLength'  a whole number 0 to 79 (default 4): the path has
%                   2*HALFLENGTH + 2 samples, HALFLENGTH before the pixel,
%                   the pixel, HALFLENGTH + 1 after.
%     'Along'       'gradient' (default): paths cross the local edge, so NC
%                   is high on edges; 'edge': paths follow it, so NC is low
%                   on clean edges and TV high on texture.
%     'Directions'  an M x N map of direction indices 0 to 360 (whole
%                   numbers) to use instead of OSTRAVEDIRECTIONS ('Along' is
%                   then not used).
%     'Table'       an 80 x 722 direction table to use instead of
%                   OSTRAVETABLE (whole numbers; see OSTRAVE).
%     'Threads'     number of threads, a whole number >= 0 (default 0, one
%                   per core); never changes the results.
%
%   Input
%     I   M x N (grey) or M x N x 3 (colour) real array: uint8, uint16,
%         int16, single, double or logical, scaled as IM2DOUBLE scales.
%
%   Outputs
%     NC  M x N double, in units of the full intensity range (0 to 1 for
%         an image in [0, 1]).
%     TV  M x N double, TV >= NC; TV - NC shows how much the path goes up
%         and down (texture, noise) rather than across one step.
%
%   A NaN pixel (of a single or double image; in colour, in any channel)
%   stays local: TV is NaN wherever the path passes over it, NC where the
%   path starts or ends on it (the NC of the pixel itself can be finite),
%   and its 8 neighbours get direction 0, as their gradient is NaN. All of
%   this lies within HALFLENGTH + 1 rows and columns of it: farther away
%   NC and TV are those of the image with any finite value in its place.
%   An Inf pixel reaches the same pixels, with Inf (NaN where a path meets
%   it twice).
%
%   Errors (identifier, when)
%     ostraveVariation:badImage   I not a real, full array of a class above,
%                                 or not M x N or M x N x 3
%     ostraveVariation:badOption  an unknown option name, a name that is
%                                 not text, or a name without value
%     ostraveVariation:usage      no input, or not text where the options
%                                 start (ostraveVariation(I, 4))
%     ostraveVariation:badValue   an option value out of its range or of
%                                 the wrong class (logical, complex or
%                                 sparse, say)
%     ostraveVariation:mapSize    'Directions' not of the image's M x N size
%     ostraveVariation:tableSize  'Table' not 80 x 722
%
%   Example
%     rgb = imread('data/ladybird.png');
%     [nc, tv] = ostraveVariation(rgb);                   % across edges
%     [nc2, tv2] = ostraveVariation(rgb, 'Along', 'edge', 'HalfLength', 6);
%     imshow([nc / max(nc(:)), tv2 / max(tv2(:))])
%
%   See also OSTRAVE, OSTRAVEDIRECTIONS, OSTRAVETABLE, IMAGELUMA, LANTRELSMOOTH.

function [nc, tv] = ostraveVariation(img, varargin)
  if nargin < 1 || (~isempty(varargin) && ~ischar(varargin{1}))
    error('ostraveVariation:usage', ['Invalid call to ostraveVariation. Use\n' ...
          '  [NC, TV] = ostraveVariation(I)\n  [NC, TV] = ostraveVariation(I, NAME, VALUE, ...)\n' ...
          'with the image first and options as name-value pairs (see help ostraveVariation).']);
  end
  opts = struct('halflength', 4, 'along', 'gradient', 'directions', [], 'table', [], 'threads', 0);
  names = {'HalfLength', 'Along', 'Directions', 'Table', 'Threads'};
  given = struct('directions', false, 'table', false);
  if mod(numel(varargin), 2) ~= 0
    if numel(varargin) == 1
      count = '1 argument follows';
    else
      count = sprintf('%d arguments follow', numel(varargin));
    end
    error('ostraveVariation:badOption', 'Options come in name-value pairs, but %s the image.', count);
  end
  for k = 1:2:numel(varargin)
    name = varargin{k};
    if ~ischar(name) || size(name, 1) ~= 1 || ~isfield(opts, lower(name))
      if ischar(name) && size(name, 1) == 1
        shown = ['''' name ''''];
      else
        shown = ['of class ' class(name)];
      end
      error('ostraveVariation:badOption', ...
            'Unknown option %s: the options are HalfLength, Along, Directions, Table and Threads.', shown);
    end
    name = lower(name);
    opts.(name) = varargin{k + 1};
    if isfield(given, name)
      given.(name) = true;
    end
  end
  a = opts.halflength;
  checkClass(a, 'HalfLength', 'a scalar');
  if ~isscalar(a) || ~(a >= 0 && a <= 79 && a == round(a))
    error('ostraveVariation:badValue', 'HalfLength must be a whole number from 0 to 79.');
  end
  t = opts.threads;
  checkClass(t, 'Threads', 'a scalar');
  if ~isscalar(t) || ~(t >= 0 && t == round(t) && isfinite(t))
    error('ostraveVariation:badValue', 'Threads must be a whole number >= 0.');
  end
  along = opts.along;
  if ~ischar(along) || size(along, 1) ~= 1 || ~any(strcmpi(along, {'gradient', 'edge'}))
    error('ostraveVariation:badValue', 'Along must be ''gradient'' or ''edge'' (one row of text).');
  end

  checkImage(img, 'ostraveVariation:badImage', 'image');
  if ndims(img) > 3 || (size(img, 3) ~= 1 && size(img, 3) ~= 3)
    error('ostraveVariation:badImage', ...
          'The image must be M x N (grey) or M x N x 3 (colour), not of size %s.', mat2str(size(img)));
  end
  [m, n, ~] = size(img);
  if given.directions
    d = opts.directions;
    checkClass(d, 'Directions', 'a map of direction indices');
    if ndims(d) ~= 2 || size(d, 1) ~= m || size(d, 2) ~= n
      error('ostraveVariation:mapSize', 'Directions must be %d x %d, the image''s size, not %s.', ...
            m, n, mat2str(size(d)));
    end
    d = double(d);
    if ~all(d(:) >= 0 & d(:) <= 360 & d(:) == round(d(:)))
      error('ostraveVariation:badValue', 'Directions must hold whole numbers from 0 to 360.');
    end
  else
    d = [];
  end
  if given.table
    table = opts.table;
    checkClass(table, 'Table', 'a direction table');
    if ~isequal(size(table), [80 722])
      error('ostraveVariation:tableSize', 'Table must be 80 x 722, not %s.', mat2str(size(table)));
    end
    table = double(table);
    if ~all(isfinite(table(:)) & table(:) == round(table(:)))
      error('ostraveVariation:badValue', 'Table must hold whole numbers.');
    end
  else
    table = [];
  end
  % Luma, directions, table and walk in one call: the bits of imageLuma,
  % ostraveDirections, ostraveTable and Ostrave one after another.
  turn = 90 * strcmpi(along, 'edge');
  if nargout < 2
    nc = lantrelops('variation', 'ostraveVariation', img, turn, d, table, double(a), double(t));
  else
    [nc, tv] = lantrelops('variation', 'ostraveVariation', img, turn, d, table, double(a), double(t));
  end
end

function checkClass(v, name, what)
  % Names what keeps V from being a real, full numeric array.
  if ~isnumeric(v)
    error('ostraveVariation:badValue', '%s must be numeric (%s), not %s.', name, what, class(v));
  elseif ~isreal(v)
    error('ostraveVariation:badValue', '%s must be real, not complex.', name);
  elseif issparse(v)
    error('ostraveVariation:badValue', '%s must not be sparse (FULL makes it a full array).', name);
  end
end

%!demo
%! % The sample photo, then the net change (nc) and total variation (tv)
%! % of its luma along paths across the edges, each shown up to its 99.5th
%! % percentile.
%! photo = file_in_loadpath('ladybird.png');   % installed package
%! if isempty(photo)   % sources: data/ above matlab/ or above build/octave/
%!   here = fileparts(file_in_loadpath('ostraveVariation.m'));
%!   photo = fullfile(here, '..', 'data', 'ladybird.png');
%!   if ~exist(photo, 'file')
%!     photo = fullfile(here, '..', '..', 'data', 'ladybird.png');
%!   end
%! end
%! rgb = imread(photo);
%! [nc, tv] = ostraveVariation(rgb, 'HalfLength', 4, 'Along', 'gradient');
%! s = sort(nc(:));
%! t = sort(tv(:));
%! subplot(1, 3, 1); imshow(rgb); title('ladybird.png');
%! subplot(1, 3, 2); imshow(nc / s(round(0.995 * end))); title('nc, HalfLength 4');
%! subplot(1, 3, 3); imshow(tv / t(round(0.995 * end))); title('tv, HalfLength 4');

%!test
%! % the pieces it is made of (a photo's size shared by two threads), and im2double's scaling
%! rgb = uint8(255 * rand(300, 480, 3));
%! y = imageLuma(rgb);
%! [nc, tv] = ostraveVariation(rgb);
%! [nc0, tv0] = Ostrave(y, ostraveDirections(y), ostraveTable(), 4);
%! assert(isequal(nc, nc0) && isequal(tv, tv0));
%! [nc, tv] = ostraveVariation(uint16(y * 65535), 'along', 'EDGE', 'halflength', 2);
%! y16 = double(uint16(y * 65535)) / 65535;
%! [nc0, tv0] = Ostrave(y16, ostraveDirections(y16, 'edge'), ostraveTable(), 2);
%! assert(isequal(nc, nc0) && isequal(tv, tv0));
%! assert(isequal(ostraveVariation(y > 0.5), Ostrave(double(y > 0.5), ostraveDirections(y > 0.5), ostraveTable(), 4)));
%!test
%! % a step of 0.8: crossed by the paths across it, not by those along it
%! img = [zeros(9, 5) 0.8 * ones(9, 5)];
%! [nc, tv] = ostraveVariation(img);
%! assert([nc(5, 5:6); tv(5, 5:6)], 0.8 * ones(2, 2), 1e-15);
%! [nc, tv] = ostraveVariation(img, 'Along', 'edge');
%! assert([nc(5, 5:6) tv(5, 5:6)], zeros(1, 4));
%!test
%! % overrides: every pixel walks to the right by a table of its own
%! T = zeros(80, 722); T(1, 1:361) = 1; T(2, 1:361) = 2;
%! [nc, tv] = ostraveVariation([9 5 3 4 8 1 2] / 10, 'Directions', zeros(1, 7), 'Table', T, 'HalfLength', 1);
%! assert([nc; tv], [6 5 3 2 2 6 1; 6 7 7 12 12 8 1] / 10, 1e-15);
%!test
%! % a NaN pixel reaches only the pixels whose paths meet it
%! img = rand(15); img(8, 8) = NaN;
%! [i, j] = ndgrid(1:15);
%! for h = [1 4]
%!   [nc, tv] = ostraveVariation(img, 'HalfLength', h);
%!   b = img; b(8, 8) = 0.5;
%!   [nc0, tv0] = ostraveVariation(b, 'HalfLength', h);
%!   far = max(abs(i - 8), abs(j - 8)) > h + 1;
%!   assert(isequal(nc(far), nc0(far)) && isequal(tv(far), tv0(far)) && all(isfinite(tv(far))));
%!   assert(isnan(tv(8, 8)) && nnz(isnan(tv)) > 2 && !any(isnan(nc(:)) & !isnan(tv(:))));
%! end
%!test
%! % messages: the usage for calls of another form, and the real problem
%! cases = {@() ostraveVariation(), 'usage', 'NC, TV\] = ostraveVariation\(I, NAME'; @() ostraveVariation(1, 4), 'usage', 'Invalid';
%!          @() ostraveVariation(1, 'Along'), 'badOption', '1 argument follows';
%!          @() ostraveVariation(1, 'Along', ['edge'; 'edge']), 'badValue', 'one row';
%!          @() ostraveVariation(1, 'Directions', true), 'badValue', 'Directions must be numeric .*logical';
%!          @() ostraveVariation(1, 'Directions', sparse(0)), 'badValue', 'Directions must not be sparse';
%!          @() ostraveVariation(1, 'Table', sparse(80, 722)), 'badValue', 'Table must not be sparse';
%!          @() ostraveVariation(1, 'HalfLength', 2i), 'badValue', 'HalfLength must be real';
%!          @() ostraveVariation(sparse(1)), 'badImage', 'must not be sparse'};
%! for k = 1:rows(cases)
%!   try
%!     cases{k, 1}();
%!     error('no error');
%!   catch err
%!     assert(err.identifier, ['ostraveVariation:' cases{k, 2}]);
%!     assert(!isempty(regexp(err.message, cases{k, 3})), err.message);
%!   end
%! end
%!error id=ostraveVariation:badImage ostraveVariation(zeros(3, 3, 2))
%!error id=ostraveVariation:badImage ostraveVariation(int8(1))
%!error id=ostraveVariation:badOption ostraveVariation(1, 'Half', 2)
%!error id=ostraveVariation:badOption ostraveVariation(1, 'Along')
%!error id=ostraveVariation:badValue ostraveVariation(1, 'HalfLength', 80)
%!error id=ostraveVariation:badValue ostraveVariation(1, 'HalfLength', 1.5)
%!error id=ostraveVariation:badValue ostraveVariation(1, 'Along', 'across')
%!error id=ostraveVariation:badValue ostraveVariation(1, 'Threads', NaN)
%!error id=ostraveVariation:badValue ostraveVariation(1, 'Directions', 361)
%!error id=ostraveVariation:mapSize ostraveVariation(ones(2), 'Directions', zeros(1, 4))
%!error id=ostraveVariation:tableSize ostraveVariation(1, 'Table', zeros(722, 80))
%!error id=ostraveVariation:badValue ostraveVariation(1, 'Table', NaN(80, 722))
