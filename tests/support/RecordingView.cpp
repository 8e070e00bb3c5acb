#include "support/RecordingView.h"

namespace vantor::test {

void RecordingView::setEnabled(ControlId id, bool on) {
    std::lock_guard lock(mutex_);
    controls_[id].enabled = on;
}
void RecordingView::setVisible(ControlId id, bool on) {
    std::lock_guard lock(mutex_);
    controls_[id].visible = on;
}
void RecordingView::setChecked(ControlId id, bool on) {
    std::lock_guard lock(mutex_);
    controls_[id].checked = on;
}
void RecordingView::setText(ControlId id, const std::string& text) {
    std::lock_guard lock(mutex_);
    controls_[id].text = text;
}
void RecordingView::setReadOnly(ControlId id, bool on) {
    std::lock_guard lock(mutex_);
    controls_[id].readOnly = on;
}
void RecordingView::setTextLimit(ControlId id, int characters) {
    std::lock_guard lock(mutex_);
    controls_[id].limit = characters;
}
void RecordingView::focus(ControlId id) {
    std::lock_guard lock(mutex_);
    focused_ = id;
}
void RecordingView::appendStatusRow(const std::string& text) {
    std::lock_guard lock(mutex_);
    rows_.push_back(text);
}
void RecordingView::removeOldestStatusRows(std::size_t count) {
    std::lock_guard lock(mutex_);
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(count));
}
void RecordingView::clearStatusRows() {
    std::lock_guard lock(mutex_);
    rows_.clear();
}
void RecordingView::showBanner(BannerPair pair, bool firstImage, bool asButton) {
    std::lock_guard lock(mutex_);
    banner_ = BannerShown{pair, firstImage, asButton};
}
void RecordingView::bannerStateChanged(BannerState, const std::string&) {}
void RecordingView::showMessage(const std::string& text, MessageIcon) {
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
}
void RecordingView::showProgress(const TransferProgress& progress) {
    std::lock_guard lock(mutex_);
    progress_.push_back(progress);
}
int RecordingView::openUrl(const std::string& url) {
    std::lock_guard lock(mutex_);
    urls_.push_back(url);
    return openUrlResult;
}
std::optional<std::string> RecordingView::chooseFile(const std::string& filter) {
    std::lock_guard lock(mutex_);
    lastFileFilter = filter;
    return chosenFile;
}
void RecordingView::showAbout() {
    std::lock_guard lock(mutex_);
    ++about_;
}
void RecordingView::closeWindow() {
    std::lock_guard lock(mutex_);
    ++closes_;
}

RecordingView::Control RecordingView::control(ControlId id) {
    std::lock_guard lock(mutex_);
    return controls_[id];
}
std::optional<ControlId> RecordingView::focused() {
    std::lock_guard lock(mutex_);
    return focused_;
}
std::vector<std::string> RecordingView::rows() {
    std::lock_guard lock(mutex_);
    return rows_;
}
std::vector<std::string> RecordingView::messages() {
    std::lock_guard lock(mutex_);
    return messages_;
}
std::vector<TransferProgress> RecordingView::progress() {
    std::lock_guard lock(mutex_);
    return progress_;
}
std::vector<std::string> RecordingView::openedUrls() {
    std::lock_guard lock(mutex_);
    return urls_;
}
std::optional<RecordingView::BannerShown> RecordingView::lastBanner() {
    std::lock_guard lock(mutex_);
    return banner_;
}
int RecordingView::aboutShown() {
    std::lock_guard lock(mutex_);
    return about_;
}
int RecordingView::closeRequests() {
    std::lock_guard lock(mutex_);
    return closes_;
}

}  // namespace vantor::test
