#pragma once

#include <mutex>
#include <string>

#include "ports/BannerState.h"
#include "ports/ConsoleMode.h"

namespace vantor {

// The blinking banner across the top of the window: a picture with the current mode's
// instruction, or a button that opens the device's web page once a device is ready. Its state
// is guarded by the console's bannerLock; only the timer tick turns it into images.
class Banner {
  public:
    // What one tick puts on the window.
    struct Frame {
        BannerPair pair;
        bool firstImage;  // the blue image of the pair
        bool asButton;    // the button 1012 is shown, else the picture 1043
    };

    explicit Banner(std::mutex& bannerLock);

    void SetBannerState(BannerState state, ConsoleMode mode);
    Frame OnTimerTick(ConsoleMode mode);
    void resetBlink();  // blinkPhase := true

    BannerState state() const;
    std::string devicePagePath() const;

    // The pair a state shows in a mode, as the next tick would load it.
    static BannerPair pairFor(bool isButton, bool setupPage, ConsoleMode mode, BannerPair current);

  private:
    std::mutex& lock_;
    BannerState state_ = BannerState::Instructions;
    std::string devicePagePath_;
    bool bannerChanged_ = false;
    bool bannerIsButton_ = false;
    bool bannerSetupPage_ = true;
    bool blinkPhase_ = true;
    BannerPair pair_ = BannerPair::AutoHint;
};

// The text for a shell-style result code of opening the device page (0: no view to open it).
std::string ShellErrorText(int resultCode);

}  // namespace vantor
