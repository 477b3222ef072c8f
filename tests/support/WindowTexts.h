// The window's texts as the tests expect to see them: one copy for every suite. Written out
// here, never taken from the product's constants, so that a text changed in the product fails
// the tests instead of changing their expectations with it.
#pragma once

namespace vxt::testing {

// The reception lines that the window logs from the connection's notifications.
inline constexpr char kBeginLine[] = "Pocetak prijema podataka...sacekajte kraj prenosa...";
inline constexpr char kEndLine[] = "Prijem podataka zavrsen";

// What stands before the message of every failure that the log shows.
inline constexpr char kFailurePrefix[] = "Error while connecting to TCP SERVER:\r";

// The outcomes of a report that are no reply line of the server's: an empty reply, and a
// report that the shell cannot open (the response file's path follows).
inline constexpr char kServerDroppedLine[] = "Server je raskinuo konekciju!";
inline constexpr char kNotOpenedPrefix[] = "Izvjestaj je snimljen, ali se ne moze otvoriti: ";

// The caption of the window, and the application title that captions the failure boxes.
inline constexpr char kCaptionText[] = "BRAXO Tarnwell podaci uzivo";
inline constexpr char kApplicationTitleText[] = "BRAXO Tarnwell podaci Uzivo";

}  // namespace vxt::testing
