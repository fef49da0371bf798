#include "Navigation.h"

#include <algorithm>

namespace {

MarkJump jumpTo(const Marks &marks, int index, int messageNumber)
{
    MarkJump jump;
    jump.index = index;
    jump.target = marks[size_t(index)];
    jump.messageNumber = messageNumber;
    jump.isLast = index == int(marks.size()) - 1;
    return jump;
}

}  // namespace

std::optional<MarkJump> MarkerJump(const Marks &marks, int index)
{
    if (marks.empty())
        return std::nullopt;
    const int i = std::clamp(index, 0, int(marks.size()) - 1);
    return jumpTo(marks, i, i);
}

std::optional<MarkJump> NextMarkJump(const Marks &marks, int32_t current)
{
    if (marks.empty())
        return std::nullopt;
    const int n = int(marks.size());
    int index = 0;
    if (!(current < marks.front() || current >= marks.back())) {
        for (int i = 0; i < n; ++i) {
            if (current == marks[size_t(i)]) {
                index = i + 1;
                if (index < n && marks[size_t(index)] == marks[size_t(i)])
                    index = i + 2 < n ? i + 2 : 0;
                break;
            }
            if (current < marks[size_t(i)]) {
                index = i;
                break;
            }
        }
        index = std::min(index, n - 1);
    }
    return jumpTo(marks, index, index + 1);
}

std::optional<MarkJump> PrevMarkJump(const Marks &marks, int32_t current)
{
    if (marks.empty())
        return std::nullopt;
    const int n = int(marks.size());
    int index = n - 1;
    if (!(current > marks.back() || current <= marks.front())) {
        for (int j = n - 1; j >= 0; --j) {
            if (current == marks[size_t(j)]) {
                index = j - 1;
                if (index >= 0 && marks[size_t(index)] == marks[size_t(j)])
                    index = j - 1 != 0 ? j - 2 : n - 1;
                break;
            }
            if (current > marks[size_t(j)]) {
                index = j;
                break;
            }
        }
        index = std::clamp(index, 0, n - 1);
    }
    return jumpTo(marks, index, index + 1);
}

int32_t SeekIndexForFrame(int32_t frameNumber, int32_t totalFrames)
{
    int64_t index = int64_t(frameNumber) - 1;
    if (totalFrames > 0)
        index = std::min<int64_t>(index, totalFrames - 1);
    return int32_t(std::max<int64_t>(index, 0));
}
