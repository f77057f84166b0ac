% COMPILER_LOG('start'): from here on, every compiler command that mkoctfile
% runs (it takes the compiler from CXX) goes through a wrapper that logs it.
% COMMANDS = COMPILER_LOG('stop'): ends that and returns the compile
% commands logged, one per cell.
function commands = compiler_log(action)
  persistent logFile wrapper oldCxx
  commands = {};
  if strcmp(action, 'start')
    logFile = [tempname() '.log'];
    wrapper = [tempname() '.sh'];
    fid = fopen(wrapper, 'w');
    fprintf(fid, '#!/bin/sh\necho "$*" >>"%s"\nexec %s "$@"\n', logFile, strtrim(mkoctfile('-p', 'CXX')));
    fclose(fid);
    system(['chmod +x "' wrapper '"']);
    oldCxx = getenv('CXX');
    setenv('CXX', wrapper);
  else
    setenv('CXX', oldCxx);
    if exist(logFile, 'file')
      commands = strsplit(fileread(logFile), "\n");
      commands = commands(~cellfun(@isempty, regexp(commands, '(^|\s)-c\s', 'once')));
      delete(logFile);
    end
    delete(wrapper);
  end
end
