% Installs the Octave package into a temporary prefix (the user's package
% lists are never touched), loads it, calls the modules and prints the help.
% Usage: octave-cli test_package.m <lantrel-x.y.z.tar.gz>
args = argv();
tarball = args{1};
tmp = tempname();
mkdir(tmp);
failures = {};
unwind_protect
pkg('prefix', fullfile(tmp, 'pkgs'), fullfile(tmp, 'pkgs'));
pkg('local_list', fullfile(tmp, 'local_list'));
pkg('global_list', fullfile(tmp, 'global_list'));
pkg('install', '-local', '-nodeps', tarball);
pkg('load', 'lantrel');

w = which('Lantrel');
if isempty(strfind(w, tmp)) || isempty(regexp(w, ['\.' mexext() '$'], 'once'))
  failures{end + 1} = sprintf('Lantrel resolves to %s, not the installed binary', w);
end
out = Lantrel([0 3 0; 0 3 0], [], ones(2, 3), [], 2, 1, 4);
if ~isequal(out(1, :), [0.7500000000000001 1.5000000000000002 0.7500000000000001])
  failures{end + 1} = sprintf('Lantrel gave %s', mat2str(out, 17));
end
text = evalc('help Lantrel');
if isempty(strfind(text, 'LANTREL Edge-preserving smoothing')) || isempty(strfind(text, 'Lantrel:notCompiled'))
  failures{end + 1} = 'help Lantrel did not print the help text';
end
if exist(fullfile(fileparts(w), 'Ostrave.m'), 'file')
  img = magic(12);
  [nc, tv] = Ostrave(img, zeros(12), zeros(80, 722), 2);
  if ~isequal(size(nc), [12 12]) || ~isequal(size(tv), [12 12]) || any(nc(:)) || any(tv(:))
    failures{end + 1} = 'Ostrave with zero offsets did not give two zero 12 x 12 images';
  end
  if isempty(strfind(evalc('help Ostrave'), 'OSTRAVE'))
    failures{end + 1} = 'help Ostrave did not print the help text';
  end
else
  printf('Ostrave is not part of this package yet\n');
end
pkg('unload', 'lantrel');
unwind_protect_cleanup
  confirm_recursive_rmdir(false);
  rmdir(tmp, 's');
end_unwind_protect
for k = 1:numel(failures)
  printf('FAILED: %s\n', failures{k});
end
printf('package: %d failed\n', numel(failures));
exit(numel(failures) != 0);
