// The desktop program's entry point. It takes no arguments: everything it needs is in
// the registry and the mail store.
#include "app/MyApp.h"

#include <memory>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    auto app = std::make_unique<MyApp>();
    app->run();
    return 0;
}
