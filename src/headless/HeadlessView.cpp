#include "headless/HeadlessView.h"

#include "base/PrintableText.h"
#include "base/Product.h"
#include "console/ConsoleLimits.h"

namespace vantor {

HeadlessView::HeadlessView(std::ostream& out, std::function<void()> onClose)
    : out_(out), onClose_(std::move(onClose)) {}

void HeadlessView::write(const std::string& text) {
    std::lock_guard lock(mutex_);
    out_ << text;
    out_.flush();
}

std::string HeadlessView::rowAsLines(const std::string& row) {
    std::string lines;
    lines.reserve(row.size() + 1);
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (row[i] == '\r' && i + 1 < row.size() && row[i + 1] == '\n') {
            continue;  // "\r\n" becomes "\n"
        }
        lines.push_back(row[i]);
    }
    if (lines.empty() || lines.back() != '\n') {
        lines.push_back('\n');
    }
    return lines;
}

std::string HeadlessView::progressLine(const TransferProgress& progress) {
    std::string line = "progress: ";
    if (!progress.device.empty()) {
        line += "[Device " + printableText(progress.device) + "] ";
    }
    line += printableText(progress.name) + " " + std::to_string(progress.done) + " " +
            std::to_string(progress.total) + "\n";
    return line;
}

void HeadlessView::showProgress(const TransferProgress& progress) {
    write(progressLine(progress));
}

void HeadlessView::heardDeviceChanged(const HeardDevice& device) {
    write("device: " + macText(device.mac) + " " + ipv4Text(device.address) + " " +
          std::string(heardStateName(device.state)) + "\n");
}

void HeadlessView::setText(ControlId id, const std::string& text) {
    if (id != ControlId::NoticeLine || text == notice_) {
        return;
    }
    notice_ = text;
    write("notice: " + text + "\n");
}

void HeadlessView::appendStatusRow(const std::string& text) {
    write(rowAsLines(text));
}

void HeadlessView::bannerStateChanged(BannerState state, const std::string& url) {
    std::string line = "banner: ";
    switch (state) {
        case BannerState::Instructions:
            line += "instructions";
            break;
        case BannerState::DeviceReady:
            line += "device-ready";
            break;
        case BannerState::UpdateStatus:
            line += "update-status";
            break;
    }
    if (state != BannerState::Instructions && !url.empty()) {
        line += " " + url;
    }
    {
        std::lock_guard lock(mutex_);
        if (line == banner_) {
            return;  // set again without a change
        }
        banner_ = line;
    }
    write(line + "\n");
}

void HeadlessView::showMessage(const std::string& text, MessageIcon) {
    write("message: " + text + "\n");
}

int HeadlessView::openUrl(const std::string& url) {
    write("open: " + url + "\n");
    return kShellSuccessThreshold + 1;
}

std::optional<std::string> HeadlessView::chooseFile(const std::string&) {
    return std::nullopt;
}

void HeadlessView::showAbout() {
    write(std::string(kAboutText) + "\n");
}

void HeadlessView::closeWindow() {
    if (onClose_) {
        onClose_();
    }
}

}  // namespace vantor
