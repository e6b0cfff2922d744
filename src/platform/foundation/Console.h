// Console lines on standard output, one write per line, safe from any thread. Callers give the
// whole line, their component prefix included ("[TAVRO_SDK] start models=..."). A host may route
// the lines elsewhere with a handler of its own; tests capture the lines written while a Capture
// is alive.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fnd {

class Console {
public:
    Console() = delete;

    // Writes the line and a line feed. Control characters inside it are written out (see
    // printable), so one call is one line and no text can send control sequences to a terminal.
    static void write(std::string_view line);

    // The text with every control character written out: \n, \r, \t, else \xNN (C0 and DEL) or
    // \u00NN (C1). Other characters, invalid UTF-8 bytes included, are left as they are.
    static std::string printable(std::string_view text);

    // Receives each line (written out as by printable, without the line feed) in place of
    // standard output; an empty handler, the default, brings standard output back, and a handler
    // that does nothing silences the console. It is called on the writer's thread, one line at a
    // time and never after setHandler has replaced it; it must not write console lines itself nor
    // set a handler. A line whose handler throws goes to standard error instead; the exception
    // goes no further, so write() never throws. Captures record the lines either way.
    using Handler = std::function<void(std::string_view line)>;
    static void setHandler(Handler handler);

    // Records every line written while it lives (from any thread); nested captures all record.
    class Capture {
    public:
        // With echo false the captured lines are kept off standard output (and the handler).
        explicit Capture(bool echo = true);
        ~Capture();
        Capture(const Capture&) = delete;
        Capture& operator=(const Capture&) = delete;

        std::vector<std::string> lines() const;
        // Whether some line contains the text.
        bool contains(std::string_view text) const;
        void clear();

        struct State;  // shared with the console's list of captures

    private:
        std::shared_ptr<State> state_;
    };

    // Drops every capture (tests).
    static void reset();
};

}  // namespace fnd
