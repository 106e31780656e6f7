// The terminal's progress lines of a batch of burns.
#include "progress_view.h"

#include "console.h"

ProgressView::Line* ProgressView::line(size_t slot) {
    if (slot >= lines_.size())
        lines_.resize(slot + 1);
    return &lines_[slot];
}

void ProgressView::burn_queued(size_t slot, const std::string& bus, const std::string& image) {
    Line* l = line(slot);
    l->bus = bus;
    l->image = image;
    // Drawn with the first start, not once per queued burn.
    l->state = "waiting for its flash";
}

void ProgressView::burn_started(size_t slot) {
    set_state(slot, "burning");
}

void ProgressView::burn_percentage(size_t slot, const std::string& percentage) {
    line(slot)->percentage = percentage;
    draw();
}

void ProgressView::burn_finished(size_t slot) {
    set_state(slot, "finished");
}

void ProgressView::burn_failed(size_t slot) {
    set_state(slot, "failed");
}

void ProgressView::burn_dropped(size_t slot) {
    line(slot)->state = nullptr;
}

void ProgressView::group_writing(size_t slot) {
    line(slot)->state = nullptr;
    erase();
}

void ProgressView::group_written(size_t /*slot*/) {}

void ProgressView::batch_ended() {
    erase();
}

void ProgressView::set_state(size_t slot, const char* state) {
    line(slot)->state = state;
    draw();
}

void ProgressView::draw() {
    if (!terminal_)
        return;
    std::string text;
    int count = 0;
    for (const Line& l : lines_) {
        if (l.state == nullptr)
            continue;
        char buf[TEXT_LEN];
        snprintf(buf, sizeof buf, "  %s  %s  %4s  %s\n", l.bus.c_str(), l.image.c_str(),
                 l.percentage.c_str(), l.state);
        text += buf;
        ++count;
    }
    // Redrawn only when a line has changed, so that the terminal does not flicker.
    if (count == drawn_lines_ && text == drawn_text_)
        return;
    erase();
    fputs(text.c_str(), out_);
    fflush(out_);
    drawn_lines_ = count;
    drawn_text_ = text;
}

void ProgressView::erase() {
    if (drawn_lines_ == 0)
        return;
    for (; drawn_lines_ > 0; --drawn_lines_) fputs("\033[1A\033[2K", out_);
    drawn_text_.clear();
    fflush(out_);
}
