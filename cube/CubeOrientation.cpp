#include "CubeOrientation.h"

#include <QStringView>

namespace cube {

namespace {

bool isColour(int32_t colour)
{
    return colour >= Yellow && colour <= White;
}

int32_t opposite(int32_t colour)
{
    switch (colour) {
    case Yellow: return White;
    case White: return Yellow;
    case Blue: return Green;
    case Green: return Blue;
    case Orange: return Red;
    case Red: return Orange;
    default: return colour;
    }
}

// The four side colours around each axis pair, in the order a quarter turn
// moves them when the axis is the lower colour of its pair and not primed:
// yellow/white 1->2->3->4, blue/green 0->4->5->2, orange/red 0->1->5->3.
constexpr int32_t kCycles[3][4] = {
    {Blue, Orange, Green, Red},
    {Yellow, Red, White, Orange},
    {Yellow, Blue, White, Green},
};

int cycleOfAxis(int32_t axis)
{
    switch (axis) {
    case Yellow: case White: return 0;
    case Blue: case Green: return 1;
    default: return 2;  // Orange, Red
    }
}

} // namespace

QString colourName(int32_t colour)
{
    static const char *const kNames[] = {"Yellow", "Blue", "Orange", "Green", "Red", "White"};
    if (!isColour(colour))
        return QString();
    return QString::fromLatin1(kNames[colour]);
}

int32_t quarterTurn(int32_t axis, int32_t face, bool prime)
{
    if (!isColour(axis) || !isColour(face) || face == axis || face == opposite(axis))
        return face;
    const bool axisIsLower = axis < opposite(axis);
    const bool forward = axisIsLower != prime;
    const int32_t *cycle = kCycles[cycleOfAxis(axis)];
    for (int i = 0; i < 4; ++i) {
        if (cycle[i] == face)
            return cycle[(forward ? i + 1 : i + 3) % 4];
    }
    return face;
}

CubeOrientation rotateLikeY(CubeOrientation orientation, bool prime)
{
    orientation.back = quarterTurn(orientation.bottom, orientation.back, prime);
    return orientation;
}

CubeOrientation rotateLikeX(CubeOrientation orientation, bool prime)
{
    const int32_t left = quarterTurn(orientation.bottom, orientation.back, false);
    orientation.back = quarterTurn(left, orientation.back, prime);
    // The new bottom is one backward step about the left axis from the new
    // back, whichever way the rotation went.
    orientation.bottom = quarterTurn(left, orientation.back, true);
    return orientation;
}

CubeOrientation rotateLikeZ(CubeOrientation orientation, bool prime)
{
    orientation.bottom = quarterTurn(orientation.back, orientation.bottom, prime);
    return orientation;
}

CubeOrientation applyText(CubeOrientation orientation, const QString &text)
{
    const QStringView t(text);
    const qsizetype size = t.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = t[i].unicode();
        if (c == u'/')
            break;

        CubeOrientation (*rotate)(CubeOrientation, bool) = nullptr;
        bool reversed = false;
        switch (c) {
        case u'y': case u'u': rotate = rotateLikeY; break;
        case u'd': case u'E': rotate = rotateLikeY; reversed = true; break;
        case u'x': case u'r': rotate = rotateLikeX; break;
        case u'l': case u'M': rotate = rotateLikeX; reversed = true; break;
        case u'z': case u'f': case u'S': rotate = rotateLikeZ; break;
        case u'b': rotate = rotateLikeZ; reversed = true; break;
        default: continue;
        }

        const bool twice = i + 1 < size && t[i + 1] == u'2';
        const qsizetype primeAt = twice ? i + 2 : i + 1;
        const bool prime = primeAt < size && t[primeAt] == u'\'';
        const bool direction = prime != reversed;
        orientation = rotate(orientation, direction);
        if (twice)
            orientation = rotate(orientation, direction);
    }
    return orientation;
}

} // namespace cube
