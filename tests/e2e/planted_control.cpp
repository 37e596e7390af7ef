// The planted-DLL scenario's control: loads each DLL named on its command
// line by its bare name, as a careless program would. Run from the folder of
// the planted DLLs, it shows that each of them is live there (its marker
// appears) under the scenario's search order, so that their absence after the
// program's runs means something.
#include <windows.h>

int main(int argc, char** argv) {
    int missing = 0;
    for (int i = 1; i < argc; ++i) {
        if (LoadLibraryA(argv[i]) == nullptr) ++missing;
    }
    return missing;
}
