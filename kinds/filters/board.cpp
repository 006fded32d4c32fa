// The filters object on the simulated board: a readout of the hub filters.
#include "board/meters.h"
#include "run/kindboard.h"

namespace kivo::sim {

namespace {

class FiltersBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kFilters; }
    bool wire(BoardWiring &, ProjectBoard::Wired &w) const override
    {
        w.device = std::make_shared<FilterReadout>();
        return true;
    }
};

} // namespace

const IKindBoard &FiltersBoard()
{
    static const FiltersBoardImpl board;
    return board;
}

} // namespace kivo::sim
