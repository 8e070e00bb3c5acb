#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "console/ConsoleView.h"

namespace vantor::test {

// A view that remembers what the console showed it, for tests that look at the window's
// state without a window.
class RecordingView final : public ConsoleView {
  public:
    struct Control {
        std::string text;
        bool enabled = true;
        bool visible = true;
        bool checked = false;
        bool readOnly = false;
        int limit = 0;
    };

    void setEnabled(ControlId id, bool on) override;
    void setVisible(ControlId id, bool on) override;
    void setChecked(ControlId id, bool on) override;
    void setText(ControlId id, const std::string& text) override;
    void setReadOnly(ControlId id, bool on) override;
    void setTextLimit(ControlId id, int characters) override;
    void focus(ControlId id) override;
    void appendStatusRow(const std::string& text) override;
    void removeOldestStatusRows(std::size_t count) override;
    void clearStatusRows() override;
    void showBanner(BannerPair pair, bool firstImage, bool asButton) override;
    void bannerStateChanged(BannerState state, const std::string& url) override;
    void showMessage(const std::string& text, MessageIcon icon) override;
    int openUrl(const std::string& url) override;
    std::optional<std::string> chooseFile(const std::string& filter) override;
    void showAbout() override;
    void closeWindow() override;
    void showProgress(const TransferProgress& progress) override;

    Control control(ControlId id);
    std::optional<ControlId> focused();
    std::vector<std::string> rows();
    std::vector<std::string> messages();
    std::vector<std::string> openedUrls();
    std::vector<TransferProgress> progress();
    struct BannerShown {
        BannerPair pair;
        bool firstImage;
        bool asButton;
    };
    std::optional<BannerShown> lastBanner();
    int aboutShown();
    int closeRequests();

    int openUrlResult = 42;  // what the desktop answers when asked to open a page
    // What the operator picks in an open-file dialog (nothing: cancelled), and the filter the
    // dialog was last shown with.
    std::optional<std::string> chosenFile;
    std::string lastFileFilter;

  private:
    std::mutex mutex_;
    std::map<ControlId, Control> controls_;
    std::optional<ControlId> focused_;
    std::vector<std::string> rows_;
    std::vector<std::string> messages_;
    std::vector<std::string> urls_;
    std::vector<TransferProgress> progress_;
    std::optional<BannerShown> banner_;
    int about_ = 0;
    int closes_ = 0;
};

}  // namespace vantor::test
