% Lantrel and Ostrave: edge-preserving smoothing and path variation
%
% Friendly interface (any image class, name-value options, defaults)
%   lantrelSmooth     - Smooth a grey or colour image, keeping its edges.
%   ostraveVariation  - Net change and total variation along short paths.
%
% Helpers (what the friendly interface and the command-line tools use)
%   lantrelWeights    - Edge-aware weight map of an image.
%   imageLuma         - Luma of a colour image.
%   imageNoise        - Standard deviation of an image's noise (Immerkaer's mask).
%   imageToUnit       - Scale any usual image class to [0, 1], as im2double.
%   ostraveDirections - Direction map: gradient direction in whole degrees.
%   ostraveTable      - Table of straight paths, direction d at d degrees.
%
% Compiled modules (raw, positional arguments, double only)
%   Lantrel           - Iterated separable weighted least-squares smoothing.
%   Ostrave           - Path variation with a direction map and table.
%
% In the sources only (the package and the Windows archive hold binaries)
%   build_mex         - Compile both modules inside MATLAB or Octave.
%
% Demos in Octave: demo Lantrel, demo Ostrave. They use the sample photo
% ladybird.png (data/ in the sources; GPL-2+, see its README), which
% file_in_loadpath('ladybird.png') finds once the Octave package is loaded.
