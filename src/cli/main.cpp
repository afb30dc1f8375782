// vornax-cli: the program's commands without windows, for scripts and batch runs.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.hpp"

namespace {

void usage() {
  std::cerr << "usage:\n"
               "  vornax-cli calc --system CODE --group SYMBOL [--getspec]\n"
               "                  --cell A B C ALPHA BETA GAMMA --lambda L --range MIN MAX\n"
               "                  [--theta] [--forbidden]\n"
               "  vornax-cli refine ...\n"
               "  vornax-cli profile FILE [--type N] [--lambda L]\n"
               "  vornax-cli convert IN OUT [--force] [--lambda L]\n"
               "  vornax-cli peaks FILE [--type N] [--lambda L]\n"
               "  vornax-cli plot [--profile FILE] [--peaks FILE] ... --out FILE.png|.svg|.pdf\n"
               "  vornax-cli search FILE [--threshold T] [--min-width W1] [--max-width W2]\n"
               "                  [--contamination L1 P1 L2 P2] [--keep CODES] [--out PEAKS]\n"
               "                  [--type N] [--lambda L]\n"
               "  vornax-cli series --profiles FILE...|FOLDER ... --out TABLE.csv [--plot CELLS.svg]\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage();
    return 2;
  }
  const std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "calc") return vornax::cli::run_calc_command(args);
  if (command == "refine") return vornax::cli::run_refine_command(args);
  if (command == "profile") return vornax::cli::run_profile_command(args);
  if (command == "convert") return vornax::cli::run_convert_command(args);
  if (command == "peaks") return vornax::cli::run_peaks_command(args);
  if (command == "plot") return vornax::cli::run_plot_command(args);
  if (command == "search") return vornax::cli::run_search_command(args);
  if (command == "series") return vornax::cli::run_series_command(args);
  usage();
  return 2;
}
