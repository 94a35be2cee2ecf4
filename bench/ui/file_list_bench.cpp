// Filling the main window's file list from a folder tree of 10,000 files.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "services/dialogs.h"
#include "services/program.h"
#include "ui/main/frm_main.h"

namespace {

namespace fs = std::filesystem;

// Answers every folder picker with one folder.
class folder_answer final : public nx::iDialogs {
 public:
  std::string folder;
  nx::msg_result message(const std::string&, nx::msg_icon, nx::msg_buttons) override {
    return nx::msg_result::ok;
  }
  std::optional<std::string> input(const std::string&, const std::string&,
                                   const std::string&) override {
    return std::nullopt;
  }
  std::string browse_folder(const std::string&) override { return folder; }
  std::string open_file(const std::string&, const std::string&, const std::string&,
                        int&) override {
    return {};
  }
};

QApplication& app() {
  static int argc = 1;
  static char name[] = "nubrix_bench_ui";
  static char* argv[] = {name, nullptr};
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication a(argc, argv);
  return a;
}

// 100 folders of 100 Word documents under one root.
std::string make_tree() {
  std::string root = (fs::temp_directory_path() / "nubrix-bench-tree").string();
  if (fs::exists(root + "/f99/d99.doc")) return root + "/";
  for (int f = 0; f < 100; ++f) {
    fs::create_directories(root + "/f" + std::to_string(f));
    for (int d = 0; d < 100; ++d)
      std::ofstream(root + "/f" + std::to_string(f) + "/d" + std::to_string(d) + ".doc") << "x";
  }
  return root + "/";
}

void add_folder_tree_10000(benchmark::State& state) {
  app();
  std::string root = make_tree();
  std::string prog = (fs::temp_directory_path() / "nubrix-bench-prog").string();
  fs::create_directories(prog + "/templates");
  nx::set_program_folder(prog + "/");
  folder_answer answers;
  answers.folder = root;
  nx::set_dialogs(&answers);
  nx::frmMain window;
  window.Form_Load();
  for (auto _ : state) {
    state.PauseTiming();
    window.lstFiles->clear();
    state.ResumeTiming();
    window.mAddIncSubWord->trigger();
    QApplication::processEvents();
    if (window.row_count() != 10000) state.SkipWithError("not every file was added");
  }
  nx::set_dialogs(nullptr);
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(add_folder_tree_10000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace


