%LANTREL Edge-preserving smoothing by iterated separable least-squares solves.
%   OUT = LANTREL(IMAGE, [], WEIGHTS, [], LAMBDA, ITERATIONS, ATTENUATION)
%   OUT = LANTREL(..., THREADS) sets the number of worker threads.
%   smooths IMAGE in ITERATIONS rounds. Each round replaces every row, then
%   every column, by the exact solution u of (I + s*A) u = f, where f is the
%   line as it stands, A the line's weighted second-difference matrix, and s
%   the round's strength: LAMBDA/2 in the first round, divided by ATTENUATION
%   after each. Small weights keep edges; large weights smooth across them.
%
%   Inputs
%     IMAGE        real double array, M x N (grey), or M x N x C (colour or
%                  any stack): every plane is smoothed on its own with the
%                  same weight map. Values in any range and unit; the
%                  result is in the same unit.
%     (2nd, 4th)   ignored; pass [].
%     WEIGHTS      real double array with at least M*N elements; its first
%                  M*N, read as an M x N matrix, are the weights. WEIGHTS(i,j)
%                  couples pixel (i,j) with (i,j+1) in the row pass and with
%                  (i+1,j) in the column pass. Use weights in [0, 1]: 0 cuts
%                  the coupling (an edge is kept), 1 smooths fully; negative
%                  weights can make a solve unstable. The last row and
%                  column of WEIGHTS are never used.
%     LAMBDA       real scalar >= 0, the smoothing strength (dimensionless:
%                  with weights 1 the first round averages over a distance
%                  of about sqrt(LAMBDA/2) pixels). 0 leaves the image as is.
%     ITERATIONS   real scalar, the number of rounds, truncated toward zero
%                  (2.9 gives 2); <= 0 or NaN returns the image unchanged.
%                  Typical: 2 to 6.
%     ATTENUATION  real scalar > 0, the divisor of the strength between
%                  rounds: 1 keeps it constant, 2 halves it every round.
%
%     THREADS      optional real scalar >= 0, truncated: the most threads
%                  to use (1 = single-threaded; 0 or absent = one per core,
%                  at most 16). An upper bound: never more than one per
%                  65536 pixels of a plane, nor more than the machine's
%                  hardware threads, nor 64, whatever is asked. Never
%                  changes OUT.
%     Inputs after the 8th are ignored.
%
%   Output
%     OUT          a new real double array the size of IMAGE. The inputs are
%                  never written. Empty images (any size) come back unchanged.
%
%   Limits of the arithmetic (the results are what the operations give)
%     - A round's strength above about 1e15 loses the solution to
%       cancellation: for an image in [0, 1], LAMBDA = 1e16 gives values
%       far outside it (80 to 250), 1e17 and more give Inf.
%     - ATTENUATION 0 or NaN makes every round after the first NaN.
%     - ITERATIONS of 2^31 or more, Inf or NaN run no round at all: the
%       image comes back unchanged.
%     - One NaN or Inf pixel or weight makes the whole result NaN (weights of
%       0 do not stop it).
%     - Values near the largest double (about 1.8e308) overflow to Inf.
%   Memory: besides OUT, a call takes the working store (about 2 times one
%   plane) plus at most 64*THREADS*(M+N) doubles of scratch, whatever the
%   shape.
%
%   Errors (identifier, when)
%     Lantrel:nargout      more than one output asked for
%     Lantrel:nargin       fewer than 7 inputs
%     Lantrel:badClass     IMAGE or WEIGHTS not a real, full double array
%                          (single, integer, logical, char, cell, complex or
%                          sparse). Scale images to [0, 1] first (IM2DOUBLE:
%                          double() of a uint8 image gives 0..255, on which
%                          weights made for [0, 1] keep every pixel apart),
%                          or call LANTRELSMOOTH, which takes any class
%     Lantrel:badScalar    LAMBDA, ITERATIONS or ATTENUATION not a real scalar
%     Lantrel:weightSize   WEIGHTS has fewer than M*N elements
%     Lantrel:badThreads   THREADS not a real scalar >= 0
%     Lantrel:outOfMemory  the image is too large (more than 2^31-11
%                          elements) or memory ran out
%     Lantrel:interrupted  Ctrl-C during the call: it stops within a row
%                          block, column strip or copy band (well under a
%                          second; a 512 MB host copy of IMAGE, which the
%                          host makes before any of that, is not broken
%                          off), releases its memory and returns nothing
%     Lantrel:notCompiled  the compiled module (Lantrel.<mexext>) is not on
%                          the path: run BUILD_MEX
%
%   Example
%     % a noisy step; weights from the image's own gradient keep the step
%     img = [zeros(32,32) ones(32,32)] + 0.05*randn(32,64);
%     w = lantrelWeights(img, 0.1);   % sigma 0.1: this noise is strong
%     out = Lantrel(img, [], w, [], 20, 4, 2);
%     flat = out(:, 1:28);
%     std(flat(:))                % far below the input's 0.05
%
%   See also LANTRELSMOOTH, LANTRELWEIGHTS, OSTRAVE, BUILD_MEX.

function varargout = Lantrel(varargin)
  % Reached only when the compiled module is not found first: beside this
  % file it takes precedence, but this file in the current folder, or
  % earlier on the path, hides a module further along the path.
  error('Lantrel:notCompiled', '%s', notCompiled('Lantrel'));
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

%!shared w23
%! w23 = ones(2, 3);

%!test
%! out = Lantrel([0 3 0; 0 3 0], [], w23, [], 2, 1, 4);
%! assert(out(1,:), [0.7500000000000001 1.5000000000000002 0.7500000000000001], 0);
%! assert(out(2,:), out(1,:), 0);

%!test
%! % iterations truncate toward zero; none at all returns the input
%! x = rand(5, 6); w = rand(5, 6);
%! assert(Lantrel(x, [], w, [], 3, 0.9, 2), x, 0);
%! assert(Lantrel(x, [], w, [], 3, NaN, 2), x, 0);
%! assert(Lantrel(x, [], w, [], 3, 2.9, 2), Lantrel(x, [], w, [], 3, 2, 2), 0);
%! assert(! isequal(Lantrel(x, [], w, [], 3, 1, 2), x));

%!test
%! % the input is never written (compare against a deep copy)
%! x = rand(6, 7); x0 = x .* 1; w = rand(6, 7);
%! y = Lantrel(x, [], w, [], 5, 2, 2);
%! assert(isequal(x, x0));
%! assert(size(y), size(x));

%!test
%! % each plane on its own with the same weights
%! x = rand(6, 5, 3); w = rand(6, 5);
%! y = Lantrel(x, [], w, [], 4, 2, 2);
%! assert(size(y), [6 5 3]);
%! for p = 1:3
%!   assert(y(:,:,p), Lantrel(x(:,:,p), [], w, [], 4, 2, 2), 0);
%! end

%!test
%! % a 1-by-N image: the column pass leaves it as the row pass made it
%! x = [1 5 2 8 3]; w = ones(1, 5);
%! y = Lantrel(x, [], w, [], 1, 1, 1);
%! A = diag([1 2 2 2 1]) - diag(ones(4,1), 1) - diag(ones(4,1), -1);
%! assert(y, ((eye(5) + 0.5 * A) \ x')', 1e-14);

%!test
%! % empty images come back as they went in
%! assert(size(Lantrel(zeros(0, 4), [], [], [], 1, 1, 1)), [0 4]);
%! assert(size(Lantrel(zeros(3, 4, 0), [], [], [], 1, 1, 1)), [3 4 0]);
%! assert(size(Lantrel(zeros(0, 3e9), [], [], [], 1, 1, 1)), [0 3e9]);

%!test
%! % a longer weight map: only its first M*N values count
%! x = rand(3, 4); w = rand(3, 4);
%! assert(Lantrel(x, [], [w(:); 1e300 * ones(9, 1)], [], 2, 2, 2), Lantrel(x, [], w, [], 2, 2, 2), 0);

%!error <Corvane must be called with 5 arguments. Please see Pemble for more details.> Lantrel(1, [], 1, [], 1, 1)
%!error id=Lantrel:nargin Lantrel(1, [], 1, [], 1)
%!error id=Lantrel:nargout [a, b] = Lantrel(1, [], 1, [], 1, 1, 1)
%!error id=Lantrel:badClass Lantrel(single(1), [], 1, [], 1, 1, 1)
%!error id=Lantrel:badClass Lantrel(uint8(1), [], 1, [], 1, 1, 1)
%!error id=Lantrel:badClass Lantrel(true, [], 1, [], 1, 1, 1)
%!error id=Lantrel:badClass Lantrel('a', [], 1, [], 1, 1, 1)
%!error id=Lantrel:badClass Lantrel({1}, [], 1, [], 1, 1, 1)
%!error id=Lantrel:badClass Lantrel(1+2i, [], 1, [], 1, 1, 1)
%!error id=Lantrel:badClass Lantrel(sparse(1), [], 1, [], 1, 1, 1)
%!error <weight map \(argument 3\)> Lantrel(1, [], single(1), [], 1, 1, 1)
%!error id=Lantrel:weightSize Lantrel(ones(3), [], ones(2), [], 1, 1, 1)
%!error <strength lambda \(argument 5\)> Lantrel(1, [], 1, [], [], 1, 1)
%!error <iteration count \(argument 6\)> Lantrel(1, [], 1, [], 1, [1 2], 1)
%!error <attenuation \(argument 7\)> Lantrel(1, [], 1, [], 1, 1, 2i)

%!test
%! % the thread count never changes a bit of the result (an image large
%! % enough for five threads: fewer are used where the work is smaller)
%! x = rand(600, 560); w = rand(600, 560);
%! y = Lantrel(x, [], w, [], 9, 3, 2);
%! for t = [0 1 2 3 5]
%!   assert(Lantrel(x, [], w, [], 9, 3, 2, t), y, 0);
%! end
%!error id=Lantrel:badThreads Lantrel(1, [], 1, [], 1, 1, 1, -1)
%!error <thread count \(argument 8\)> Lantrel(1, [], 1, [], 1, 1, 1, NaN)
%!error id=Lantrel:badThreads Lantrel(1, [], 1, [], 1, 1, 1, [1 2])

%!demo
%! % The sample photo before and after lantrelSmooth with Lambda 12 and
%! % Sigma 0.03 (4 iterations): the grass and the background
%! % go smooth, the ladybird's spots, legs and the blade's edges stay sharp.
%! photo = file_in_loadpath('ladybird.png');   % installed package
%! if isempty(photo)   % sources: data/ above matlab/ or above build/octave/
%!   here = fileparts(file_in_loadpath('Lantrel.m'));
%!   photo = fullfile(here, '..', 'data', 'ladybird.png');
%!   if ~exist(photo, 'file')
%!     photo = fullfile(here, '..', '..', 'data', 'ladybird.png');
%!   end
%! end
%! I = imread(photo);
%! J = lantrelSmooth(I, 'Lambda', 12, 'Sigma', 0.03);
%! subplot(1, 2, 1); imshow(I); title('input');
%! subplot(1, 2, 2); imshow(J); title('lantrelSmooth(I, ''Lambda'', 12, ''Sigma'', 0.03)');
