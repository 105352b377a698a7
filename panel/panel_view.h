#pragma once

#include "protocol/params.h"

#include <QString>

namespace kv306 {

// What the unit's actions see of the window: the six parameter lists by position, the
// sent-frame field, and the video standard preset.
class PanelView {
public:
    virtual ~PanelView() = default;

    virtual int ListIndex(int list) const = 0;
    // Selects an entry and runs the list's click behaviour, as an operator's pick does.
    virtual void SelectListIndex(int list, int position) = 0;
    // While held, choosing a video standard leaves the other lists alone.
    virtual void HoldPreset(bool held) = 0;
    virtual QString DisplayText() const = 0;
    virtual void SetDisplayText(const QString &text) = 0;

    // The six lists' selected positions.
    Params Lists() const
    {
        Params p{};
        for (int k = 0; k < kParamCount; ++k)
            p[static_cast<std::size_t>(k)] = ListIndex(k);
        return p;
    }
    // Selects the six values as a read-back puts them: the video standard's preset held.
    void ShowParams(const Params &params)
    {
        HoldPreset(true);
        for (int k = 0; k < kParamCount; ++k)
            SelectListIndex(k, params[static_cast<std::size_t>(k)]);
        HoldPreset(false);
    }
};

}  // namespace kv306
