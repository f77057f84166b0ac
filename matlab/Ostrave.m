%OSTRAVE Net change and total variation along a short path through every pixel.
%   [NC, TV] = OSTRAVE(IMAGE, DIRMAP, TABLE, HALFLENGTH) walks, for every
%   pixel of IMAGE, a path through the pixel made of the offsets that TABLE
%   gives for the pixel's direction, and returns the net change NC between
%   the first and the last sample of the walk and the total variation TV,
%   the sum of the absolute differences of successive samples.
%   NC = OSTRAVE(...) computes the net change alone.
%   [NC, TV] = OSTRAVE(..., THREADS) sets the number of worker threads.
%
%   Inputs
%     IMAGE       real double M x N matrix, values in any unit (further
%                 dimensions: only the first M*N values are read). The walk
%                 treats negative values specially (see below): images of
%                 values >= 0, such as intensities in [0, 1], are the usual
%                 case.
%     DIRMAP      real double array with at least M*N elements; its first
%                 M*N, read as an M x N matrix, are each pixel's direction
%                 index, truncated toward zero (12.9 selects 12); 0 to 360.
%                 What an index means is up to TABLE (for example degrees).
%     TABLE       real double array with at least 80*722 elements; its first
%                 57760, read as an 80 x 722 matrix (a 1 x 57760 vector is as
%                 good), are offsets in pixels, truncated toward zero. Row
%                 p+1 is step p of a path; column d+1 (d = 0..360) holds
%                 direction d's column offset at that step, column 362+d its
%                 row offset (positive = down).
%     HALFLENGTH  real scalar a, truncated toward zero; 0 to 79. Steps 0..a
%                 of the table are used, so a path has 2a+2 samples.
%     THREADS     optional real scalar >= 0, truncated: the most threads to
%                 use (1 = single-threaded; 0 or absent = one per core, at
%                 most 16). An upper bound: never more than one per 32768
%                 pixels, nor more than the machine's hardware threads, nor
%                 64, whatever is asked. Never changes the results.
%     Inputs after the 5th are ignored.
%
%   The walk
%     With T(p) the offsets of direction d at steps p = 0..a, the walk from
%     pixel (i,j) visits the offsets
%       -T(a-1), ..., -T(0), 0, T(0), T(1), ..., T(a)
%     in that order: a steps back, the pixel itself, a+1 steps forward.
%     Example: a = 1, column offsets 1, 2 and row offsets 0 visit columns
%     j-1, j, j+1, j+2 of row i. Offsets that leave the image are skipped.
%     The walk starts at its first sample that is not negative (NaN counts
%     as not negative): earlier negative samples only replace the start.
%     A pixel within a+1 of an edge whose walk never found such a start
%     gets NC = 0. Tables whose offsets exceed a+1 in magnitude are
%     accepted: their samples outside the image are skipped as well.
%
%   Outputs
%     NC  M x N real double, |last sample - start| of every pixel's walk;
%         in the unit of IMAGE, >= 0.
%     TV  M x N real double, sum of |sample - previous sample| after the
%         start; in the unit of IMAGE, TV >= NC. On a constant image both
%         are 0; a step of height h crossed once gives NC = TV = h.
%     The inputs are never written. An empty image (any size) gives empty
%     M x N outputs.
%
%   Errors (identifier, when)
%     Ostrave:nargout       more than two outputs asked for
%     Ostrave:nargin        fewer than 4 inputs
%     Ostrave:badClass      IMAGE, DIRMAP or TABLE not a real, full double
%                           array (OSTRAVEVARIATION takes images of any class)
%     Ostrave:badScalar     HALFLENGTH not a real numeric scalar
%     Ostrave:imageSize     IMAGE holds no values although M*N is not 0
%                           (a further dimension is 0, as in zeros(3, 4, 0))
%     Ostrave:mapSize       DIRMAP has fewer than M*N elements
%     Ostrave:tableSize     TABLE has fewer than 57760 elements
%     Ostrave:halfLength    HALFLENGTH outside 0..79 after truncation (or NaN)
%     Ostrave:badDirection  a direction index outside 0..360 after truncation
%                           (or NaN); the message names its value and position
%     Ostrave:badThreads    THREADS not a real scalar >= 0
%     Ostrave:tooLarge      M*N exceeds 2^31-1
%     Ostrave:outOfMemory   memory ran out
%     Ostrave:interrupted   Ctrl-C during the call: it stops within a band
%                           of rows of the walk or of a copy (well under a
%                           second; the host's own filling of each output
%                           is not broken off), releases its memory and
%                           returns nothing
%     Ostrave:notCompiled   the compiled module (Ostrave.<mexext>) is not on
%                           the path: run BUILD_MEX
%
%   Straight paths
%     OSTRAVETABLE gives the table of straight paths that the command-line
%     tool ostrave uses: direction d is d degrees from the x axis, with x to
%     the right and y DOWN the image (0 right, 90 down, 180 left, 270 up),
%     and step p is the pixel nearest to p+1 pixels along that line.
%     OSTRAVEDIRECTIONS gives the matching direction map (the gradient's
%     direction in whole degrees, or the edge's); OSTRAVEVARIATION does all
%     of it for an image of any class.
%
%   Example
%     img = zeros(64); img(:, 33:end) = 1;   % a vertical edge
%     img(9:24, 9:24) = mod((1:16)' + (1:16), 2);   % fine texture
%     dirs = ostraveDirections(img);         % across edges, in degrees
%     [nc, tv] = Ostrave(img, dirs, ostraveTable(), 3);
%     [nc(40, 32) tv(40, 32)]    % the edge: 1 1
%     tv(16, 16)                 % the texture: 7
%
%   See also OSTRAVEVARIATION, OSTRAVETABLE, OSTRAVEDIRECTIONS, LANTREL, BUILD_MEX.

function varargout = Ostrave(varargin)
  % Reached only when the compiled module is not found first: beside this
  % file it takes precedence, but this file in the current folder, or
  % earlier on the path, hides a module further along the path.
  error('Ostrave:notCompiled', '%s', notCompiled('Ostrave'));
end

function text = notCompiled(name)
  binary = [name '.' mexext()];
  stub = [mfilename('fullpath') '.m'];
  here = fileparts(stub);
  folders = strsplit(path(), pathsep());
  for k = 1:numel(folders)
    found = fullfile(folders{k}, binary);
    if strcmp(folders{k}, here) || ~exist(found, 'file')
      continue;
    end
    if strcmp(pwd(), here)
      text = sprintf(['The compiled module %s is on the path, but the help file %s in the ' ...
                      'current folder hides it (the current folder comes before the path). ' ...
                      'Change to another folder with cd, then call %s again.'], found, stub, name);
    else
      text = sprintf(['The compiled module %s is on the path, but the help file %s comes before ' ...
                      'it on the path and hides it. Put the module''s folder first with ' ...
                      'addpath(''%s'') or remove %s from the path with rmpath.'], found, stub, folders{k}, here);
    end
    return;
  end
  text = sprintf(['The compiled module %s was not found on the path. Run build_mex (in the matlab ' ...
                  'folder of the sources) or add the folder that holds it with addpath.'], binary);
end

%!shared T1
%! % a = 1: every direction steps right by 1, then 2
%! T1 = zeros(80, 722); T1(1, 1:361) = 1; T1(2, 1:361) = 2;

%!test
%! % one row, every pixel near an edge: offsets outside the row are skipped
%! [nc, tv] = Ostrave([9 5 3 4 8 1 2], zeros(1, 7), T1, 1);
%! assert(nc, [6 5 3 2 2 6 1]);
%! assert(tv, [6 7 7 12 12 8 1]);

%!test
%! % interior walk -1, 0, 1, 2: leading negative samples only replace the start
%! img = zeros(5, 8); img(3, 3:6) = [-2 -1 3 5];
%! [nc, tv] = Ostrave(img, zeros(5, 8), T1, 1);
%! assert([nc(3,4) tv(3,4)], [2 2]);
%! img(3, 3:6) = [2 -1 5 4];
%! [nc, tv] = Ostrave(img, zeros(5, 8), T1, 1);
%! assert([nc(3,4) tv(3,4)], [2 10]);

%!test
%! % a zero first step samples the pixel again: 9, 9, 9, 16
%! T = zeros(80, 722); T(2, 1:361) = 1;
%! img = zeros(5, 5); img(3, 3:4) = [9 16];
%! [nc, tv] = Ostrave(img, zeros(5, 5), T, 1);
%! assert([nc(3,3) tv(3,3)], [7 7]);

%!test
%! % directions select columns of the table; row offsets move down the rows
%! T = zeros(80, 722); T(1, 362 + 7) = 1;   % direction 7: one row down
%! img = magic(6); dirs = 7.9 * ones(6);
%! [nc, tv] = Ostrave(img, dirs, T, 0);
%! d = abs(diff(img)); 
%! assert(nc(1:5, :), d);
%! assert(tv(1:5, :), d);
%! assert(nc(6, :), zeros(1, 6));

%!test
%! % one output; the table may be a vector; inputs are never written
%! img = rand(7, 9); dirs = floor(361 * rand(7, 9)); T = T1(:)';
%! img0 = img .* 1; dirs0 = dirs .* 1; T0 = T .* 1;
%! nc1 = Ostrave(img, dirs, T, 1);
%! [nc2, tv2] = Ostrave(img, dirs, T1, 1);
%! assert(nc1, nc2, 0);
%! assert(size(tv2), [7 9]);
%! assert(isequal(img, img0) && isequal(dirs, dirs0) && isequal(T, T0));

%!test
%! % NaN starts: NaN inside, 0 near an edge; -0 is a valid start
%! img = ones(5, 5); img(3, 2) = NaN; img(1, 1) = NaN;
%! [nc, tv] = Ostrave(img, zeros(5, 5), T1, 1);
%! assert(isnan(nc(3, 3)) && isnan(tv(3, 3)));
%! assert(nc(1, 2), 0);
%! assert(isnan(tv(1, 2)));

%!test
%! % empty images give empty outputs of the same size
%! [nc, tv] = Ostrave(zeros(0, 4), [], T1, 1);
%! assert(size(nc), [0 4]);
%! assert(size(tv), [0 4]);
%! [nc, tv] = Ostrave(zeros(0, 3e9), [], T1, 1);   % before any size limit
%! assert(size(nc), [0 3e9]);
%! assert(size(tv), [0 3e9]);

%!test
%! % huge offsets are skipped, never read
%! T = T1; T(1, 5) = 2^30; T(2, 5) = -2^31; T(1, 361 + 5) = 1e10;
%! [nc, tv] = Ostrave([1 2 3; 4 5 6], 4 * ones(2, 3), T, 1);
%! assert(nc, zeros(2, 3));
%! assert(tv, zeros(2, 3));

%!error id=Ostrave:nargin Ostrave(1, 0, zeros(80, 722))
%!error id=Ostrave:nargout [a, b, c] = Ostrave(1, 0, zeros(80, 722), 1)
%!error id=Ostrave:badClass Ostrave(single(1), 0, zeros(80, 722), 1)
%!error id=Ostrave:badClass Ostrave(uint8(1), 0, zeros(80, 722), 1)
%!error id=Ostrave:badClass Ostrave(true, 0, zeros(80, 722), 1)
%!error id=Ostrave:badClass Ostrave(1+2i, 0, zeros(80, 722), 1)
%!error id=Ostrave:badClass Ostrave(sparse(1), 0, zeros(80, 722), 1)
%!error <direction map \(argument 2\)> Ostrave(1, {0}, zeros(80, 722), 1)
%!error <direction table \(argument 3\)> Ostrave(1, 0, int32(zeros(80, 722)), 1)
%!error id=Ostrave:badScalar Ostrave(1, 0, zeros(80, 722), [1 2])
%!error id=Ostrave:badScalar Ostrave(1, 0, zeros(80, 722), 'a')
%!error id=Ostrave:mapSize Ostrave(ones(3), ones(2), zeros(80, 722), 1)
%!error <image \(argument 1\) has 0 elements; a 3 x 4 image needs 12> Ostrave(zeros(3, 4, 0), zeros(3, 4), zeros(80, 722), 1)
%!error id=Ostrave:tableSize Ostrave(1, 0, zeros(80, 721), 1)
%!error id=Ostrave:tableSize Ostrave([], [], 0, 1)
%!error <half-length \(argument 4\) is NaN> Ostrave(1, 0, zeros(80, 722), NaN)
%!error <half-length \(argument 4\) is 80> Ostrave(1, 0, zeros(80, 722), 80)
%!error id=Ostrave:halfLength Ostrave(1, 0, zeros(80, 722), -1)
%!error <holds 361 at row 2, column 3> Ostrave(ones(2, 3), [0 0 0; 0 0 361], zeros(80, 722), 1)
%!error <holds -1 at row 1, column 2> Ostrave(ones(2, 3), [0 -1 0; 0 0 0], zeros(80, 722), 1)
%!error <holds NaN at row 1, column 1> Ostrave(1, NaN, zeros(80, 722), 1)
%!error <holds 10000000000 at> Ostrave(1, 1e10, zeros(80, 722), 1)

%!test
%! % the thread count never changes a bit of the results
%! s = (1:80)'; a = (0:360) * pi / 180;   % straight paths, as ostraveTable
%! table = [round(s * cos(a)), round(s * sin(a))];
%! img = rand(410, 400) - 0.2; dirs = floor(361 * rand(410, 400));
%! [nc, tv] = Ostrave(img, dirs, table, 5);
%! for t = [0 1 2 3 5]
%!   [nc2, tv2] = Ostrave(img, dirs, table, 5, t);
%!   assert(nc2, nc, 0); assert(tv2, tv, 0);
%! end
%!error id=Ostrave:badThreads Ostrave(1, 0, zeros(80, 722), 0, -2)
%!error <thread count \(argument 5\)> Ostrave(1, 0, zeros(80, 722), 0, 'a')

%!demo
%! % What ostraveVariation shows on the sample photo: the net change along a
%! % short path across the edges marks the outlines, the total variation
%! % along it is high wherever the texture is fine.
%! photo = file_in_loadpath('ladybird.png');   % installed package
%! if isempty(photo)   % sources: data/ above matlab/ or above build/octave/
%!   here = fileparts(file_in_loadpath('Ostrave.m'));
%!   photo = fullfile(here, '..', 'data', 'ladybird.png');
%!   if ~exist(photo, 'file')
%!     photo = fullfile(here, '..', '..', 'data', 'ladybird.png');
%!   end
%! end
%! I = imread(photo);
%! [nc, tv] = ostraveVariation(I);
%! subplot(1, 3, 1); imshow(I); title('input');
%! subplot(1, 3, 2); imshow(nc, []); title('net change');
%! subplot(1, 3, 3); imshow(tv, []); title('total variation');
