#pragma once

#include <QString>

#include <cstdint>

// Orientation of the whole cube in the solver's hands, tracked through the
// rotations, slice turns and wide turns of a text. No stickers are simulated.
namespace cube {

// Colour indices; opposite pairs are (0, 5), (1, 3), (2, 4).
enum Colour : int32_t { Yellow = 0, Blue = 1, Orange = 2, Green = 3, Red = 4, White = 5 };

// "Yellow", "Blue", "Orange", "Green", "Red", "White"; empty outside 0..5.
QString colourName(int32_t colour);

// Colours on the D face (bottom) and the B face (back). The start value is
// the scrambling orientation: yellow down, blue at the back.
struct CubeOrientation
{
    int32_t bottom = Yellow;
    int32_t back = Blue;

    friend bool operator==(const CubeOrientation &, const CubeOrientation &) = default;
};

// The colour `face` becomes under a quarter rotation about the axis through
// `axis`; the axis colour and its opposite are unchanged.
int32_t quarterTurn(int32_t axis, int32_t face, bool prime);

// Whole-cube quarter rotations in the direction of U (y), R (x) and F (z) turns.
CubeOrientation rotateLikeY(CubeOrientation orientation, bool prime);
CubeOrientation rotateLikeX(CubeOrientation orientation, bool prime);
CubeOrientation rotateLikeZ(CubeOrientation orientation, bool prime);

// Applies every orientation-changing letter of `text` (x y z, wide turns
// u d r l f b, slices M E S) up to its first "/".
CubeOrientation applyText(CubeOrientation orientation, const QString &text);

}  // namespace cube
