% BAD = CHECK_FLAGS(ROOT, COMMANDS): the compiler commands (a cell of
% strings) that lack a flag every build shares (groups all and opt of
% ROOT/cmake/flags.txt, and x86-32 on such a host) or hold another
% optimisation level.
function bad = check_flags(root, commands)
  groups = 'all|opt';
  if ~isempty(regexp(computer(), '^i[3-6]86-', 'once'))
    groups = [groups '|x86-32'];
  end
  pairs = regexp(fileread(fullfile(root, 'cmake', 'flags.txt')), ['^(' groups ')[ \t]+(-\S+)'], 'tokens', 'lineanchors');
  wanted = cellfun(@(p) p{2}, pairs, 'UniformOutput', false);
  levels = @(f) sort(f(strncmp(f, '-O', 2)));
  bad = {};
  for k = 1:numel(commands)
    used = regexp(commands{k}, '\S+', 'match');
    if isempty(wanted) || ~all(ismember(wanted, used)) || ~isequal(levels(used), levels(wanted))
      bad{end + 1} = sprintf('%s (wanted %s)', commands{k}, strjoin(wanted, ' '));
    end
  end
end
