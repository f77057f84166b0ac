% MATLAB is not here to try the .m files, and Octave runs syntax that MATLAB
% rejects: every line of matlab/*.m outside the %! test blocks (which only
% Octave reads) must use neither Octave-only syntax nor Octave-only functions.
% Usage: octave-cli test_matlab_syntax.m <matlab folder>
args = argv();
folder = args{1};

function probs = octaveOnly(line)
  % The code of the line with strings blanked and the comment cut off,
  % noting what only Octave accepts on the way.
  probs = {};
  code = '';
  k = 1;
  while k <= numel(line)
    ch = line(k);
    if ch == ''''
      if !isempty(code) && any(code(end) == ['a':'z' 'A':'Z' '0':'9' '_)]}.'''])
        code(end + 1) = ch;  % transpose
        k += 1;
        continue;
      end
      % a string: skip to its closing quote ('' is a quote inside it)
      k += 1;
      while k <= numel(line) && !(line(k) == '''' && (k == numel(line) || line(k + 1) != ''''))
        k += 1 + (line(k) == '''');
      end
      code = [code 'S'];
      k += 1;
      continue;
    elseif ch == '"'
      probs{end + 1} = 'double-quoted string';
      k = k + 1;
      while k <= numel(line) && line(k) != '"'
        k += 1;
      end
      code = [code 'S'];
      k += 1;
      continue;
    elseif ch == '%'
      break;
    elseif ch == '#'
      probs{end + 1} = '# comment';
      break;
    end
    code(end + 1) = ch;
    k += 1;
  end
  rules = {'!', '! operator (use ~)'; '\+\+|--', '++ or --'; '([-+*/^|&]|\.\*|\./)=', 'compound assignment';
           '\*\*', '** power'; '\\\s*$', 'backslash continuation'; '\)\(', 'chained indexing';
           ['\<(endfunction|endif|endfor|endwhile|endswitch|endparfor|end_try_catch|unwind_protect' ...
            '|unwind_protect_cleanup|end_unwind_protect|do|until)\>'], 'Octave-only keyword';
           '\<(printf|puts|fputs|fdisp|print_usage|nthargout|columns|rows)\s*\(', 'Octave-only function'};
  for r = 1:rows(rules)
    if !isempty(regexp(code, rules{r, 1}, 'once'))
      probs{end + 1} = rules{r, 2};
    end
  end
end

% The check itself must see each of these, and nothing in the lines after.
bad = {'x = 1; # note', 'if a != b', 'k++;', 'k += 1;', 'x .*= 2;', 's = "text";', 'endfunction', ...
       'endif', 'end_try_catch', 'printf(''%d'', 1);', 'y = x ** 2;', 'v = f(x)(2);', 'a = !b;', 'x = 1 + \'};
good = {'a = ''it''''s # not % a "comment" != ++'';', 'b = x'';', 'c = x.'' * y'';', 'y = [a'' b''];', ...
        'fprintf(''%d\n'', 1);  % printf( is fine in a comment', 'if a ~= b, end', 'z = {''#''};', ...
        'w = a(1)'' + 1;'};
failures = 0;
for k = 1:numel(bad)
  if isempty(octaveOnly(bad{k}))
    printf('FAILED: the check misses: %s\n', bad{k});
    failures += 1;
  end
end
for k = 1:numel(good)
  p = octaveOnly(good{k});
  if !isempty(p)
    printf('FAILED: the check objects to valid MATLAB (%s): %s\n', strjoin(p, ', '), good{k});
    failures += 1;
  end
end

files = dir(fullfile(folder, '*.m'));
lines = 0;
for f = 1:numel(files)
  text = fileread(fullfile(folder, files(f).name));
  text = strsplit(text, "\n");
  block = false;
  for k = 1:numel(text)
    line = text{k};
    if regexp(line, '^\s*%\{\s*$', 'once')
      block = true;
    elseif regexp(line, '^\s*%\}\s*$', 'once')
      block = false;
    end
    if block || !isempty(regexp(line, '^\s*%!', 'once'))
      continue;
    end
    lines += 1;
    p = octaveOnly(line);
    if !isempty(p)
      printf('FAILED: %s:%d: %s: %s\n', files(f).name, k, strjoin(p, ', '), strtrim(line));
      failures += 1;
    end
  end
end
printf('MATLAB syntax: %d files, %d lines outside the %%! blocks, %d problems\n', numel(files), lines, failures);
exit(failures != 0);
