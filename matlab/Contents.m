% Lantrel and Ostrave: edge-preserving smoothing and path variation
%
% Friendly interface (any image class, name-value options, defaults)
%   lantrelSmooth     - Smooth a grey or colour image, keeping its edges.
%   ostraveVariation  - Net change and total variation along short paths.
%
% Helpers (what the friendly interface and the command-line tools use)
%   lantrelWeights    - Edge-aware weight map of an image.
%   imageLuma         - Luma of a colour image.
%   ostraveDirections - Direction map: gradient direction in whole degrees.
%   ostraveTable      - Table of straight paths, direction d at d degrees.
%
% Compiled modules (raw, positional arguments, double only)
%   Lantrel           - Iterated separable weighted least-squares smoothing.
%   Ostrave           - Path variation with a direction map and table.
%
% Building from the sources (not part of the Octave package)
%   build_mex         - Compile both modules inside MATLAB or Octave.
%
% Demos (Octave): demo Lantrel, demo Ostrave
% A sample photo, ladybird.png, comes with the package (GPL-2+).
