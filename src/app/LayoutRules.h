// The window's layout rules that need no window: a length designed at 96 pixels per inch on a
// screen of another resolution, and the width that a label takes.
#pragma once

namespace vxt {

// value * dpi / 96, rounded to the nearest whole pixel with halves away from zero (the rounding
// of MulDiv, which the layout has always used). dpi is positive.
int ScaleToDpi(int value, int dpi);

// A label's width: its designed width scaled to dpi, or the width of its text when that is more
// (a static control clips what does not fit, and another build of the font, a substitute face
// or the rounding at another resolution can make the text wider than designed).
int LabelWidth(int designed_width, int dpi, int text_width);

}  // namespace vxt
