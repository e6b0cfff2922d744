// The system photo picker: a sheet that runs outside the app, so the app cannot read or touch
// anything inside it. A person picks photos from the whole library (no library access needed) or
// cancels; either way the picker tells its finish handler, and the app dismisses it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/photos/Asset.h"
#include "platform/ui/ViewController.h"

namespace photos {

enum class PickerFilter { any, images, videos };

struct PickerConfiguration {
    int selectionLimit = 1;  // 0: no limit
    PickerFilter filter = PickerFilter::any;
};

// One picked item: the asset it is, and its first resource's file name and type.
struct PickerResult {
    std::string assetIdentifier;
    std::string suggestedName;
    std::string typeIdentifier;

    bool operator==(const PickerResult&) const = default;
};

class PickerViewController : public ui::ViewController {
public:
    explicit PickerViewController(PickerConfiguration configuration = {});

    std::string_view className() const override { return "PHPickerViewController"; }

    const PickerConfiguration& configuration() const { return configuration_; }
    // Told once with what was picked (nothing when the person cancelled).
    void setOnFinishPicking(std::function<void(PickerViewController&, std::vector<PickerResult>)> handler) {
        onFinish_ = std::move(handler);
    }

    // ---- what a person does inside the picker ----
    // Picks the assets with these identifiers (those the filter allows, up to the selection
    // limit). False when the picker is not on screen, has finished already, or none can be picked.
    bool pick(const std::vector<std::string>& assetIdentifiers);
    // Cancels: the finish handler gets no results. False when the picker is not on screen or has
    // finished already.
    bool cancel();
    bool hasFinished() const { return finished_; }

protected:
    void loadView() override;

private:
    bool finish(std::vector<PickerResult> results);
    PickerConfiguration configuration_;
    std::function<void(PickerViewController&, std::vector<PickerResult>)> onFinish_;
    bool finished_ = false;
};

// Whether the asset passes the picker's filter.
bool pickerAllows(PickerFilter filter, const Asset& asset);

}  // namespace photos
