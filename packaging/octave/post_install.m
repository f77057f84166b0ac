% Run by "pkg install" once the files are in place. The private helper
% lantrelops goes into the private/ folder of the package's functions. The help files
% Lantrel.m and Ostrave.m move beside their compiled modules, which pkg puts
% in the package's architecture folder: a help file in another folder would
% shadow its module whenever that folder is the current one (as during
% "pkg test", which runs each folder's tests from inside it), since the
% current folder comes before the path.
function post_install(desc)
  for name = {'Lantrel', 'Ostrave'}
    stub = fullfile(desc.dir, [name{1} '.m']);
    bin = dir(fullfile(desc.archprefix, '**', [name{1} '.mex']));
    if exist(stub, 'file') && numel(bin) == 1 && ~strcmp(bin.folder, desc.dir)
      [ok, msg] = movefile(stub, bin.folder);
      if ~ok
        error('lantrel: cannot move %s beside its module: %s', stub, msg);
      end
    end
  end
  % The private helper serves the functions of desc.dir only from their
  % private/ folder: it moves there from the architecture folder (where it
  % takes precedence over its stub, which reports it missing).
  bin = dir(fullfile(desc.archprefix, '**', ['lantrelops.' mexext()]));
  if numel(bin) == 1
    [ok, msg] = movefile(fullfile(bin.folder, bin.name), fullfile(desc.dir, 'private'));
    if ~ok
      error('lantrel: cannot move %s into %s: %s', bin.name, fullfile(desc.dir, 'private'), msg);
    end
  end
end
