% Runs the README's real-photo example as it stands there, from a folder
% outside the repository, with the built modules (and the copy of the
% photo beside them) on the path, and checks what it prints and writes.
% Usage: octave-cli test_readme_example.m <source root> <folder with the built modules>
args = argv();
root = args{1};
addpath(make_absolute_filename(args{2}));
text = fileread(fullfile(root, 'README.md'));
block = regexp(text, '<!-- real-photo example[^\n]*\n```matlab\n(.*?)```', 'tokens', 'once');
failures = {};
function out = runExample(code)
  % a workspace of its own, as a fresh session's
  out = evalc(code);
end
if isempty(block)
  failures{end + 1} = 'README.md has no real-photo example block';
else
  lines = numel(strfind(block{1}, sprintf('\n')));
  files = fullfile(tempdir, {'ladybird-smoothed.png', 'ladybird-variation.png'});
  for k = 1:2
    if exist(files{k}, 'file')
      delete(files{k});
    end
  end
  here = pwd();
  cd(tempdir);   % the photo comes from the path, not the current folder
  try
    out = runExample(block{1});
  catch err
    out = '';
    failures{end + 1} = sprintf('the example stops: %s', err.message);
  end
  cd(here);
  printf('%d lines run; they printed:\n%s', lines, out);
  if lines > 12
    failures{end + 1} = sprintf('the example has %d lines', lines);
  end
  % the figures the README quotes
  expect = {'Sigma 0.009, Lambda 0.3 (photo); 0.035, 2.2 (noisy)', ...
            'off the photo by 0.02 (defaults) and 7.9 (noisy) -> 2.8 (smoothed) grey levels', ...
            'net change up to 0.96, total variation up to 2.58'};
  for k = 1:numel(expect)
    if isempty(strfind(out, expect{k})) || isempty(strfind(text, expect{k}))
      failures{end + 1} = sprintf('"%s" is not both printed and quoted in the README', expect{k});
    end
  end
  for k = 1:2
    if ~exist(files{k}, 'file')
      failures{end + 1} = sprintf('%s was not written', files{k});
    else
      img = imread(files{k});
      printf('%s: %d x %d x %d\n', files{k}, size(img, 1), size(img, 2), size(img, 3));
      delete(files{k});
    end
  end
end
for k = 1:numel(failures)
  printf('FAILED: %s\n', failures{k});
end
printf('README example: %d failed\n', numel(failures));
exit(numel(failures) != 0);
