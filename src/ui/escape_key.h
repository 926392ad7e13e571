// Escape closes Velmora's windows: each window's key handler starts with
// this, passing what closing means for it.
#pragma once

#include <QKeyEvent>
#include <utility>

namespace velmora::ui {

// Runs `close` and answers true for Escape; false for any other key.
template <typename Close> bool EscapeCloses(const QKeyEvent* event, Close&& close) {
    if (event->key() != Qt::Key_Escape) {
        return false;
    }
    std::forward<Close>(close)();
    return true;
}

} // namespace velmora::ui
