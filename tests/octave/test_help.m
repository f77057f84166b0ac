% What a user meets first: the help text beside the built modules, and the
% error a help stub raises when its binary is missing.
% Usage: octave-cli test_help.m <folder with the built modules>
args = argv();
built = args{1};
failures = {};
function check(cond, what)
  if ~cond
    printf('FAILED: %s\n', what);
    evalin('base', 'failures{end + 1} = 1;');
  end
end

addpath(built);
names = {'Lantrel', 'Ostrave'};
names = names(cellfun(@(n) exist(fullfile(built, [n '.m']), 'file') > 0, names));
for k = 1:numel(names)
  name = names{k};
  text = evalc(['help ' name]);
  % H1 line, syntax, the error identifiers and an example
  check(~isempty(regexp(text, ['^\s*' upper(name) ' \S'], 'once', 'lineanchors')), [name ': H1 line']);
  check(~isempty(strfind(text, ['= ' upper(name) '('])), [name ': syntax line']);
  check(~isempty(strfind(text, [name ':notCompiled'])), [name ': error identifiers']);
  check(~isempty(strfind(text, 'Example')), [name ': example']);
  check(~isempty(regexp(which(name), ['\.' mexext() '$'], 'once')), [name ': the binary takes precedence over the stub']);
end

% The helpers: H1 line, syntax, example and cross-references.
% Every .m file the build put beside the modules, as the build lists them.
helpers = setdiff(regexprep({dir(fullfile(built, '*.m')).name}, '\.m$', ''), [{'Lantrel', 'Ostrave'}, names]);
for k = 1:numel(helpers)
  name = helpers{k};
  text = evalc(['help ' name]);
  check(~isempty(regexp(text, ['^\s*' upper(name) ' \S'], 'once', 'lineanchors')), [name ': H1 line']);
  check(~isempty(strfind(text, [upper(name) '('])), [name ': syntax line']);
  check(~isempty(strfind(text, 'Example')) && ~isempty(strfind(text, 'See also')), [name ': example, see also']);
end

% A stub without its binary names what is missing and the host's extension.
rmpath(built);
here = pwd();
stubs = tempname();
mkdir(stubs);
unwind_protect
  for k = 1:numel(names)
    name = names{k};
    copyfile(fullfile(built, [name '.m']), stubs);
  end
  addpath(stubs);
  for k = 1:numel(names)
    name = names{k};
    clear(name);
    try
      feval(name, 1);
      check(false, [name ' stub: no error raised']);
    catch err
      check(strcmp(err.identifier, [name ':notCompiled']), [name ' stub: identifier ' err.identifier]);
      check(~isempty(strfind(err.message, [name '.' mexext()])), [name ' stub: message names the binary']);
    end
  end
  % Help files in the current folder hide the binaries on the path (as
  % after "cd matlab; build_mex(dir); addpath(dir)"): the stub says so.
  built = make_absolute_filename(built);
  addpath(built);
  here = pwd();
  cd(stubs);
  for k = 1:numel(names)
    name = names{k};
    clear(name);
    try
      feval(name, 1);
      check(false, [name ' hidden: no error raised']);
    catch err
      check(strcmp(err.identifier, [name ':notCompiled']), [name ' hidden: identifier ' err.identifier]);
      check(~isempty(strfind(err.message, fullfile(built, [name '.' mexext()]))) && ...
            ~isempty(strfind(err.message, 'current folder hides it')), [name ' hidden: ' err.message]);
    end
  end
  cd(here);
  rmpath(built);
unwind_protect_cleanup
  cd(here);
  rmpath(stubs);
  confirm_recursive_rmdir(false);
  rmdir(stubs, 's');
end_unwind_protect
printf('help: %d modules and %d helpers checked, %d failed\n', numel(names), numel(helpers), numel(failures));
exit(numel(failures) != 0);
