// brontaflex: the TMS320F280x programmer window.
#include "app/CProgrammerApp.h"

int main(int argc, char** argv) {
  CProgrammerApp app(argc, argv);
  return app.Run();
}
