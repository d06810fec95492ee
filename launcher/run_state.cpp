#include "launcher/run_state.h"

#include <cstdlib>

RunState::~RunState()
{
    free(temporaryDirectory);
    free(WorkingDirectory);
    free(javaHome);
    free(javaRuntimePath);
    for (int i = 0; i < OptionCount; ++i) free(OptionList[i].text);
    free(OptionList);
    if (workingDirectoryHold != nullptr) CloseHandle(workingDirectoryHold);
}
