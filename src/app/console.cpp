#include "app/console.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>

#include "services/flags.h"
#include "services/settings.h"
#include "services/text.h"
#include "templates/library.h"

namespace nx {
namespace {

void print(std::FILE* f, const std::string& text) {
  std::string t = replace_all(text, "\r\n", "\n");
  if (!t.ends_with("\n")) t += "\n";
  std::fputs(t.c_str(), f);
  std::fflush(f);
}

extern "C" void on_interrupt(int) { cancel_requested = true; }

}  // namespace

msg_result console_dialogs::message(const std::string& text, msg_icon icon, msg_buttons buttons) {
  print(icon == msg_icon::information || icon == msg_icon::none ? out_ : err_, text);
  switch (buttons) {
    case msg_buttons::yes_no: return msg_result::no;
    case msg_buttons::replace_skip_cancel: return msg_result::cancel;
    case msg_buttons::ok: break;
  }
  return msg_result::ok;
}

std::optional<std::string> console_dialogs::input(const std::string&, const std::string&, const std::string&) {
  return std::nullopt;
}

std::string console_dialogs::browse_folder(const std::string&) { return ""; }

std::string console_dialogs::open_file(const std::string&, const std::string&, const std::string&, int&) {
  return "";
}

std::string selected_template_file() {
  const int index = chosen_template_index(list_templates());
  std::vector<std::string> files = list_template_files();
  return index >= 1 && size_t(index) <= files.size() ? files[index - 1] : std::string();
}

console_host::console_host(const convert_request& request)
    : destination_(request.destination), template_file_(selected_template_file()), terminal_(::isatty(2)) {
  for (const auto& f : request.files) rows_.push_back({f, status_ready});
}

void console_host::set_row(int row, const std::string& text, const std::string& status) {
  rows_[row] = {text, status};
  close_progress();
  if (status == status_converted) print(stderr, "  -> " + text);
}

void console_host::row_failed(int, const std::string& reason) {
  print(stderr, "  Failed: " + (reason.empty() ? std::string("unknown reason") : reason));
}

void console_host::row_note(int, const std::string& note) { print(stderr, "  Note: " + note); }

void console_host::set_progress_label(const std::string& text) {
  close_progress();
  print(stderr, text);
}

void console_host::set_progress(int percent) {
  if (!terminal_ || percent == shown_percent_) return;
  shown_percent_ = percent;
  std::fprintf(stderr, "\r  %3d%%", percent);
  std::fflush(stderr);
}

void console_host::close_progress() {
  if (terminal_ && shown_percent_ >= 0) std::fputs("\r      \r", stderr);
  shown_percent_ = -1;
}

int run_console_conversion(const convert_request& request) {
  console_host host(request);
  struct sigaction on{}, before{};
  on.sa_handler = on_interrupt;
  sigemptyset(&on.sa_mask);
  ::sigaction(SIGINT, &on, &before);
  const auto start = std::chrono::steady_clock::now();
  bool ok = run_batch_job(host);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ::sigaction(SIGINT, &before, nullptr);
  char took[64];
  std::snprintf(took, sizeof took, " (%.1f s)", seconds);
  print(stderr, "Total time: " + duration_text(seconds) + took);
  write_setting("default", "backup", "0");
  return ok ? 0 : 1;
}

}  // namespace nx
