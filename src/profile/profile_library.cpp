// The profile library: smoothing, second derivative, peak search, line classification
// and peak kill, on the session's profile and peak list.
