#include "core/seen_area.h"

#include <algorithm>
#include <vector>

namespace quarnel {

namespace {

constexpr size_t kMaxPieces = 4096;

bool empty(const ScreenBox& b) {
    return b.left >= b.right || b.top >= b.bottom;
}

ScreenBox common(const ScreenBox& a, const ScreenBox& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

// The parts of `piece` outside `cover`: up to four, the bands above and below it and the parts
// left and right of it between them.
void add_outside(const ScreenBox& piece, const ScreenBox& cover, std::vector<ScreenBox>& out) {
    ScreenBox inside = common(piece, cover);
    if (empty(inside)) {
        out.push_back(piece);
        return;
    }
    const ScreenBox parts[] = {
        {piece.left, piece.top, piece.right, inside.top},
        {piece.left, inside.bottom, piece.right, piece.bottom},
        {piece.left, inside.top, inside.left, inside.bottom},
        {inside.right, inside.top, piece.right, inside.bottom},
    };
    for (const ScreenBox& part : parts)
        if (!empty(part))
            out.push_back(part);
}

}  // namespace

bool any_part_seen(ScreenBox area, std::span<const ScreenBox> screens, std::span<const ScreenBox> covers) {
    // Screens may overlap (a mirrored display): a piece twice over costs work, never a wrong answer.
    std::vector<ScreenBox> pieces, next;
    for (const ScreenBox& screen : screens)
        if (ScreenBox on = common(area, screen); !empty(on))
            pieces.push_back(on);
    for (const ScreenBox& cover : covers) {
        if (pieces.empty())
            return false;
        next.clear();
        for (const ScreenBox& piece : pieces)
            add_outside(piece, cover, next);
        if (next.size() > kMaxPieces)
            return true;
        pieces.swap(next);
    }
    return !pieces.empty();
}

}  // namespace quarnel
