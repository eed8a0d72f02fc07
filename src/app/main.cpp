#include "app/TessarineApp.h"

namespace {
quillmar::CTessarineApp theApp;
}

int main(int argc, char** argv) {
    return theApp.Run(argc, argv);
}
