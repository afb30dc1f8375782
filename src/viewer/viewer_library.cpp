// The viewer library: angle/intensity to pixel mapping, axis ticks, the redraws as calls
// on an abstract canvas, hit tests and zoom.
