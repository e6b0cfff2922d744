// The photo-picker hand-off. The system photo picker runs outside the app, so the agent can neither
// see nor tap anything inside it. When a goal needs a photo and the picker is on screen, TavroPhotos
// makes the choice itself: it takes the newest favourite (else the newest photo that is not a
// screenshot, else the newest photo) from the library, writes it to a temporary file, closes the
// picker and hands the file to the handler the host registered, which does what the app does with a
// picked photo. When that cannot be done the agent hands the picker to the user instead.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/photos/Asset.h"
#include "platform/photos/UniformType.h"
#include "platform/runtime/Task.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace tavro {

class TavroPhotos {
public:
    TavroPhotos() = delete;

    // The host's photo handler: the exported file, the photo's file name as the library stores it
    // and its type when known; answers whether the app used the photo. Empty until the host sets
    // it. Read and set on the main actor only.
    using Handler = std::function<rt::Task<bool>(std::filesystem::path file, std::string name,
                                                 std::optional<photos::UTType> type)>;
    static inline Handler handler;

    // What a hand-off came to.
    class Outcome {
    public:
        enum class Case {
            picked,      // handed over and accepted; the text says which photo
            failed,      // a photo was chosen but the hand-off failed; the text is for the user
            notHandled,  // nothing was done (no handler, no library access, no photo)
        };
        static Outcome picked(std::string words) { return Outcome(Case::picked, std::move(words)); }
        static Outcome failed(std::string message) { return Outcome(Case::failed, std::move(message)); }
        static Outcome notHandled() { return Outcome(Case::notHandled, {}); }

        Case kind() const { return kind_; }
        const std::string& text() const { return text_; }
        bool operator==(const Outcome&) const = default;

    private:
        Outcome(Case kind, std::string text) : kind_(kind), text_(std::move(text)) {}
        Case kind_;
        std::string text_;
    };

    // Whether the goal asks for a photo (photo, picture, pic, image, selfie, gallery, camera roll,
    // 写真, 画像, as whole words in any letter case).
    static bool wanted(std::string_view goal);

    // The first photo picker or image picker in the chain of controllers presented over the
    // window's root (the root itself is not looked at); nothing without one.
    static std::shared_ptr<ui::ViewController> systemPicker(const std::shared_ptr<ui::Window>& window);

    // The hand-off itself, on the main actor.
    static rt::Task<Outcome> handle(std::shared_ptr<ui::ViewController> picker);

    // The photo to hand over and the words for it.
    struct Best {
        std::shared_ptr<const photos::Asset> asset;
        std::string words;
    };
    static std::optional<Best> best();

private:
    struct Exported {
        std::filesystem::path file;
        std::string name;
        std::optional<photos::UTType> type;
    };
    // Writes the asset's photo into a new directory "tavro-photo-<UUID>" of the temporary directory.
    static rt::Task<std::optional<Exported>> exportAsset(std::shared_ptr<const photos::Asset> asset);
    static std::shared_ptr<const photos::Asset> latest(std::optional<photos::Predicate> predicate);
};

}  // namespace tavro
