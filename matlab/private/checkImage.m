% CHECKIMAGE(X, ID, WHAT) stops with identifier ID, naming the input WHAT,
% unless X is an image the helpers read: a real, full array of class uint8,
% uint16, int16, single, double or logical.

function checkImage(x, id, what)
  if ~(isnumeric(x) || islogical(x))
    error(id, 'The %s must be a numeric or logical array, not %s.', what, class(x));
  elseif ~isreal(x)
    error(id, 'The %s must be real, not complex.', what);
  elseif issparse(x)
    error(id, 'The %s must not be sparse (FULL makes it a full array).', what);
  elseif ~any(strcmp(class(x), {'double', 'single', 'logical', 'uint8', 'uint16', 'int16'}))
    error(id, 'The %s''s class %s is not supported (uint8, uint16, int16, single, double or logical).', ...
          what, class(x));
  end
end
