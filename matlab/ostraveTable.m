%OSTRAVETABLE The 80 x 722 table of straight paths, direction d at d degrees.
%   T = OSTRAVETABLE() returns the direction table that OSTRAVE reads, for
%   straight paths: direction d (0..360) points d degrees from the x axis,
%   with x to the right along a row and y DOWN the image (so 0 is right,
%   90 down, 180 left, 270 up, and 360 the same as 0), and step p (0..79) is
%   the pixel nearest to the point p+1 pixels along that line:
%     T(p+1, d+1)   = round((p+1) * cos(d*pi/180))   column offset
%     T(p+1, 362+d) = round((p+1) * sin(d*pi/180))   row offset, + = down
%   This is the table of the command-line tool ostrave, value for value; a
%   map from OSTRAVEDIRECTIONS (degrees, same axes) selects its columns.
%   Every offset of step p is at most p+1 in magnitude, as OSTRAVE's walk
%   expects.
%
%   Output
%     T  80 x 722 double of whole numbers.
%
%   Example
%     t = ostraveTable();
%     [t(1:3, 1)'; t(1:3, 362)']        % d = 0: columns 1 2 3, rows 0 0 0
%     [t(1:3, 91)'; t(1:3, 362+90)']    % d = 90: columns 0 0 0, rows 1 2 3
%     img = imageLuma(imread('data/ladybird.png'));
%     [nc, tv] = Ostrave(img, ostraveDirections(img), t, 4);
%
%   See also OSTRAVEDIRECTIONS, OSTRAVEVARIATION, OSTRAVE.

function t = ostraveTable()
  t = lantrelops('table');
end

%!test
%! t = ostraveTable();
%! assert(size(t), [80 722]);
%! % the axes: 0 right, 90 down, 180 left, 270 up, 360 = 0; 45 degrees
%! % reaches (1, 1) at step 0 (round(0.707) = 1) and (2, 2) at step 2
%! for d = [0 90 180 270 360]
%!   assert([t(1:2, d+1) t(1:2, 362+d)], [1 2]' * round([cos(d*pi/180) sin(d*pi/180)]), d);
%! end
%! assert([t(1:3, 46) t(1:3, 362+45)], [1 1; 1 1; 2 2]);
%! % no step is longer than p+1, and every step is a whole number
%! assert(all(max(abs(t(:, 1:361)), abs(t(:, 362:722))) <= (1:80)', 1)(:));
%! assert(isequal(t, round(t)));
