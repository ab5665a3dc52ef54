// StopSignals: the signals that ask the program to end (SIGINT from Ctrl+C,
// SIGTERM, SIGHUP when the terminal or session goes away, SIGQUIT) turned into
// a request to stop at the next safe point, for as long as a guard lives. Long
// work that must not be cut in the middle of a step (the backup copy, the
// apply) holds a guard and tests requested() between its steps.
//
// The handler only records the signal; everything else happens in the loop
// that tests it. Outside any guard the signals keep their previous effect
// (by default, the process ends), and a signal that was ignored when the
// guard was made stays ignored. Guards are made and dropped on the main
// thread only; they nest, and the outermost one restores the handlers.
#pragma once

#include <string>

namespace tarvex {

class StopSignals {
public:
    // The first live guard installs the handlers and clears any earlier
    // request; inner guards share it.
    StopSignals();
    // The last guard puts back the handlers it found. A request that came
    // meanwhile is not passed on: the guard's owner has acted on it.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Whether a stop was asked since the outermost live guard was made; false
    // when no guard lives.
    static bool requested();
    // Asks for a stop from inside the program (the window session ending), as
    // a signal would. Ignored when no guard lives.
    static void request();
    // What asked, for messages: "SIGTERM", "SIGHUP", ..., "the session
    // ending" for request(); empty when nothing asked.
    static std::string askedBy();
    // Keeps the signals that ask for a stop from the calling thread, a
    // helper's: they are the saving thread's to take, and none cuts the
    // helper's own system calls short.
    static void keepFromThisThread();
};

} // namespace tarvex
