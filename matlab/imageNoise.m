%IMAGENOISE Standard deviation of an image's noise, estimated from the image alone.
%   S = IMAGENOISE(I) estimates the standard deviation of additive white
%   Gaussian noise in the grey or colour image I, on the scale [0, 1] (as
%   IM2DOUBLE scales I; multiply by 255 for grey levels of 8 bits).
%
%   Method. The image is filtered with Immerkaer's mask
%
%       N = [1 -2 1; -2 4 -2; 1 -2 1]
%
%   the difference of two Laplacians, which cancels any local plane and
%   most smooth shading, and gives 6 * S for pure noise of deviation S
%   (J. Immerkaer, "Fast noise variance estimation", Computer Vision and
%   Image Understanding 64(2):300-302, 1996). Instead of Immerkaer's mean
%   of |I * N|, S is the median of |I * N| divided by 0.6745 * 6, the
%   median absolute deviation of Donoho and Johnstone ("Ideal spatial
%   adaptation by wavelet shrinkage", Biometrika 81(3):425-455, 1994),
%   taken over the pixels whose Sobel gradient |gx| + |gy| is at most its
%   median (about half of them): edges and texture, which the mask does
%   not cancel, are left out, as in S.-C. Tai and S.-M. Yang, "A fast
%   method for image noise estimation using Laplacian operator and
%   adaptive edge detection", ISCCSP 2008. The Sobel and Immerkaer masks are orthogonal, so for pure
%   noise the choice of pixels does not bias S. Only the pixels whose 3 x 3
%   neighbourhood lies inside the image count.
%
%   Colour. Each channel is estimated on its own and S is the median of
%   the three (noise added to each channel independently, as a camera's
%   is, is estimated as it is; a channel holding texture is outvoted).
%
%   Accuracy (measured on the five photos of data/, colour, with added
%   Gaussian noise of 1 to 30 grey levels): within 0.3 grey level plus 1%
%   on four of them; the dune's grass (texture at the scale of a pixel
%   everywhere) reads 0.3 to 0.75 grey level high. Whole-level rounding of uint8 images is noise of 0.29
%   grey level, and the median of whole-level responses moves in steps of
%   0.25 grey level: a noise-free uint8 photo gives 0.5 to 0.75 grey
%   level (2e-3 to 3e-3), a constant image or a linear ramp 0.
%
%   Input
%     I   M x N (grey) or M x N x 3 (colour) real array of a class that
%         IMAGETOUNIT takes (uint8, uint16, int16, single, double,
%         logical), at least 3 x 3.
%   Output
%     S   double scalar >= 0. An image smaller than 3 x 3 gives 0.
%
%   Example
%     rgb = imread(file_in_loadpath('ladybird.png'));
%     randn('state', 1);
%     noisy = double(rgb) / 255 + 10 / 255 * randn(size(rgb));
%     255 * imageNoise(noisy)      % about 10
%
%   See also LANTRELSMOOTH, IMAGETOUNIT.

function s = imageNoise(img)
  checkImage(img, 'imageNoise:badImage', 'image');
  c = size(img, 3);
  if ndims(img) > 3 || (c ~= 1 && c ~= 3)
    error('imageNoise:badImage', 'The image must be M x N (grey) or M x N x 3 (colour), not of size %s.', ...
          mat2str(size(img)));
  end
  % Both masks are separable and computed so, in the image's own class
  % (imageops/imagemaths.cpp, which the command-line tool shares).
  s = lantrelops('noise', img, 0);
end

%!test
%! % known Gaussian noise of 0 to 30 grey levels on a smooth scene with
%! % edges: within 0.4 grey level + 5%, grey and colour, double and uint8
%! [u, v] = meshgrid(linspace(0, 1, 200));
%! clean = 0.2 + 0.5 * u .* v + 0.2 * (hypot(u - 0.5, v - 0.5) < 0.3);
%! randn('state', 7);
%! noise = randn(200, 200, 3);
%! for level = [0 1 2 5 10 20 30]
%!   grey = clean + level / 255 * noise(:, :, 1);
%!   rgb = cat(3, clean, 0.8 * clean, 0.5 + 0.4 * u) + level / 255 * noise;
%!   tol = 0.4 + 0.05 * level;
%!   assert(255 * imageNoise(grey), level, tol);
%!   assert(255 * imageNoise(rgb), level, tol);
%!   if level > 0
%!     assert(255 * imageNoise(uint8(255 * grey)), level, tol);
%!   end
%! end
%! % rounding to uint8 without noise: a constant or a ramp 0, a curved
%! % surface the rounding's own deviation, under 1 grey level
%! assert(imageNoise(uint8(255 * u)), 0);
%! assert(255 * imageNoise(uint8(255 * clean)) < 1);
%!test
%! % edges everywhere (blocks of 6 pixels, steps of 0.4: more than half
%! % the pixels see one) are left out; Immerkaer's plain mean reads 1.1
%! % grey levels on the clean blocks, the plain median 5.7 for noise of 5
%! [u, v] = meshgrid(1:120);
%! blocks = 0.3 + 0.4 * mod(floor(u / 6) + floor(v / 6), 2);
%! randn('state', 5);
%! assert(255 * imageNoise(blocks) < 0.1);
%! assert(255 * imageNoise(blocks + 5 / 255 * randn(120)), 5, 0.4);
%! % one channel of texture is outvoted; NaN pixels are left out
%! randn('state', 3);
%! rand('state', 3);
%! x = 0.5 + 5 / 255 * randn(64, 64, 3);
%! x(:, :, 2) = x(:, :, 2) + 0.3 * (rand(64) > 0.5);
%! assert(255 * imageNoise(x), 5, 1);
%! x(10, 10, :) = NaN;
%! assert(255 * imageNoise(x), 5, 1);
%! assert(imageNoise(ones(2, 5)), 0);
%!error id=imageNoise:badImage imageNoise(zeros(4, 4, 2))
%!error id=imageNoise:badImage imageNoise({1})
