#pragma once

namespace dravik {

// The window system's application object. The starter, which only hands over to its private copy,
// has it made only when it must show an alert, so a normal start pays for it once, in the copy.
class QtApplication {
public:
    // Keeps the process arguments for the application; argc and argv outlive the process's work.
    static void setArguments(int& argc, char** argv);
    // Makes the application unless there is one.
    static void ensure();
};

} // namespace dravik
