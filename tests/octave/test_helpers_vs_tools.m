% The MATLAB helpers and the command-line tools compute the same things: on
% the demo's scene and on the colour photo, the luma, the direction maps and
% the table must be identical, and so must the tools' outputs and those of
% lantrelSmooth and ostraveVariation, with their defaults and given values.
% Usage: octave-cli test_helpers_vs_tools.m OCTAVE_DIR DUMP LANTREL OSTRAVE DEMO PHOTO WORK_DIR
args = argv();
[built, dump, lantrel, ostrave, demo, photo, work] = args{:};
addpath(built);
failures = 0;
function ok = check(cond, what)
  ok = cond;
  if ~cond
    printf('FAILED: %s\n', what);
    evalin('base', 'failures = failures + 1;');
  end
end
function run(cmd)
  [status, out] = system(cmd);
  if status ~= 0
    error('%s failed (%d): %s', cmd, status, out);
  end
end

if exist(work, 'dir')
  confirm_recursive_rmdir(false);
  rmdir(work, 's');
end
mkdir(work);
run(sprintf('"%s" "%s/demo" >/dev/null', demo, work));
images = {fullfile(work, 'demo', 'input.png'), fullfile(work, 'demo', 'smoothed.png'), photo};
sigma = 0.03;
for k = 1:numel(images)
  file = images{k};
  [~, name] = fileparts(file);
  run(sprintf('"%s" "%s" %.17g "%s/%s.bin"', dump, file, sigma, work, name));
  fid = fopen(sprintf('%s/%s.bin', work, name), 'r');
  v = fread(fid, Inf, 'double');
  fclose(fid);
  m = v(1);
  n = v(2);
  part = @(p) reshape(v(2 + (p - 1) * m * n + (1:m * n)), m, n);
  table = reshape(v(2 + 4 * m * n + 1:end), 80, 722);

  img = imread(file);
  check(isequal(imageLuma(img), part(1)), [name ': luma']);
  % exp and hypot come from the C library that both share here, so the
  % weights agree to the bit; another build of it could move the last bit
  % (1 ulp), which is the tolerance allowed.
  w = lantrelWeights(img, sigma);
  tw = part(2);
  same = sum(w(:) == tw(:));
  check(all(abs(w(:) - tw(:)) <= eps(tw(:))), [name ': weights within 1 ulp']);
  d = ostraveDirections(img);
  de = ostraveDirections(img, 'edge');
  sameD = sum(d(:) == reshape(part(3), [], 1));
  sameE = sum(de(:) == reshape(part(4), [], 1));
  check(sameD == m * n && sameE == m * n, [name ': direction maps']);
  t = ostraveTable();
  sameT = sum(all(t == table, 1));
  check(sameT == 722, [name ': table']);
  printf('%s (%d x %d x %d): weights %d of %d identical bits; directions across %d, along %d of %d identical; table %d of 722 columns identical\n', ...
         name, m, n, size(img, 3), same, m * n, sameD, sameE, m * n, sameT);

  % The tools with their defaults against the friendly interface with its
  % own: the same noise and parameters (to the printed digits; the noise
  % estimate's sums run in another order) and the same result; given
  % values, bit for bit.
  [~, said] = system(sprintf('"%s" -q -v -o "%s/out" "%s"', lantrel, work, file));
  out = imread(sprintf('%s/out/%s_smoothed.png', work, name));
  [mine, used] = lantrelSmooth(img);
  shown = sprintf('noise %.6g (%.3g grey levels of 255); sigma %.6g (on a pilot), lambda %.6g, iterations 4, attenuation 2', ...
                  used.Noise, 255 * used.Noise, used.Sigma, used.Lambda);
  check(~isempty(strfind(said, shown)), sprintf('%s: lantrel -v said "%s", not "%s"', name, strtrim(said), shown));
  check(isequal(out, mine), [name ': lantrel tool vs lantrelSmooth, defaults']);
  run(sprintf('"%s" -q -l 12 -s 0.03 -o "%s/out" "%s"', lantrel, work, file));
  out = imread(sprintf('%s/out/%s_smoothed.png', work, name));
  mine = lantrelSmooth(img, 'Sigma', 0.03, 'Lambda', 12);
  check(isequal(out, mine), [name ': lantrel tool vs lantrelSmooth, Sigma 0.03 and Lambda 12']);
  for along = {'gradient', 'edge'}
    run(sprintf('"%s" -q --scale 1 --depth 16 --along %s -o "%s/out" "%s"', ostrave, along{1}, work, file));
    [nc, tv] = ostraveVariation(img, 'Along', along{1});
    nc16 = imread(sprintf('%s/out/%s_net_change.png', work, name));
    tv16 = imread(sprintf('%s/out/%s_total_variation.png', work, name));
    check(isequal(nc16, uint16(nc * 65535)) && isequal(tv16, uint16(tv * 65535)), ...
          [name ': ostrave tool vs ostraveVariation, along ' along{1}]);
  end
  printf('%s: lantrel tool and lantrelSmooth differ on %d of %d values; ostrave tool and ostraveVariation checked across and along edges\n', ...
         name, sum(out(:) ~= mine(:)), numel(out));
end
printf('helpers vs tools: %d images, %d failed checks\n', numel(images), failures);
exit(failures ~= 0);
