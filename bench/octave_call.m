% Times a whole Lantrel call inside Octave (2048 x 2048, five iterations),
% conversions included: best of ten (a call that first touches fresh memory
% can take half as long again), in seconds on the last line.
% Usage: octave-cli octave_call.m <folder with Lantrel.mex>
args = argv();
addpath(args{1});
M = 2048; N = 2048;
rand('seed', 1);
img = [zeros(M, N/2) ones(M, N/2)] + 0.05 * rand(M, N);
[gx, gy] = gradient(img);
w = exp(-hypot(gx, gy) / 0.2);
Lantrel(img(1:16, 1:16), [], w(1:16, 1:16), [], 20, 5, 2);
best = Inf;
for r = 1:10
  tic;
  out = Lantrel(img, [], w, [], 20, 5, 2);
  best = min(best, toc);
end
printf('%.6f\n', best);
