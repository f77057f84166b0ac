% The toolbox's compiled image operations (imageops/lantrelops_mex.cpp),
% private to its functions. This file is reached only where the binary
% lantrelops.<mexext> beside it is not built: the calling helper stops with
% <helper>:notCompiled.

function varargout = lantrelops(varargin) %#ok<STOUT,INUSD>
  caller = dbstack(1);
  if isempty(caller)
    name = 'lantrelops';
  else
    name = regexprep(caller(1).name, '[>/].*$', '');
  end
  error([name ':notCompiled'], ['%s needs the compiled helper private/lantrelops.%s, which is not ' ...
        'built. Run build_mex (or build the project with CMake, or install the Octave package) first.'], ...
        name, mexext());
end
