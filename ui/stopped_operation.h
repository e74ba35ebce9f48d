#pragma once
// The window's words for a register operation that failed (composed in
// devices/register_sentences.h), and showing no sampling rate when the
// sensor's is not known.
//
// Thread contract: window thread only.

#include <QString>
#include <functional>
#include <initializer_list>
#include <vector>

#include "devices/register_operations.h"

class QRadioButton;

namespace veltrix::ui {

// failure_sentence as the box's text.
QString failure_text(devices::FailureCause cause, const char* bad_reply_text);

// Shows each message as a box, with `show_error(text, detail)`; true when
// there was one.
bool show_messages(const std::vector<devices::OperatorMessage>& messages,
                   const std::function<void(const QString& text, const QString& detail)>& show_error);

// "1A (CONFIG)", or the address alone when the table has no row for it.
QString register_named(const devices::StoppedAt& stopped);

// Leaves none of `buttons` checked, without their checked-changed handlers.
void show_no_rate(std::initializer_list<QRadioButton*> buttons);

}  // namespace veltrix::ui
