// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/HelpText.h"

namespace kavri::cli {

const char* const kUsageText =
    R"(usage: kavrictl [-p PORT] [--json] [--log FILE] [-v] [--trace] COMMAND [ARGS]
commands: status, filters, goto FILTER, home, rename INDEX NAME,
          filter-edit INDEX [--correction N] [--focus-shift N|none], position,
          move POSITION, step N, sync POSITION, temps, compensation [off|N],
          config [FIELD[=VALUE]...], microsteps [V...], save FILE, load FILE,
          log-temps [--count N], ports,
          calibrate [LOG.csv...] [--thermometer N] [--since DATE] [--plot FILE.svg]
                    [--apply [--force]]
'kavrictl --help' shows the manual.
)";

const char* const kManualText =
    R"(NAME
    kavrictl - control the filter wheel and focuser controller from the command line

SYNOPSIS
    kavrictl [-p PORT] [--json] [--log FILE] [-v] [--trace] COMMAND [ARGS]
    kavrictl --help | --version

DESCRIPTION
    kavrictl drives the combined filter wheel and focuser controller on a serial line
    (9600 baud, 8N1) for scripts and observatory automation. Every command that talks to the
    controller connects as the desktop program does - it opens the port, probes which of wheel
    and focuser answer, reads the configuration image, the filter table and the microstep
    table - does its work, disconnects, and saves the program's settings.

    Arguments are checked before anything is sent: a bad command line changes nothing on the
    controller.

    Names (filters, thermometers) are kept by the controller and in .fws files in the Windows
    Cyrillic code page (windows-1251), as the Windows software keeps them. kavrictl shows them
    as UTF-8 and stores what you type in that code page, so a filter name holds 8 Cyrillic
    letters. Control characters in names are shown escaped ("\u001b"), as in JSON.

OPTIONS
    -p, --port PORT
        The port of this run: auto (search COM1 to COM16 in turn), N or COMN (N = 1..16), or
        a device path such as /dev/ttyUSB0 (on Windows \\.\COM20 for a port above COM16).
        Default: the stored ComPort setting (0 = auto).
        The port given here is for this run only; the stored setting is left as it is.

    --json
        Print one JSON object on standard output instead of text. Its keys are the
        program's own field names (wheelPresent, focuserPresent, currentFilter,
        focuserPosition, temperatures, the configuration field names, ...). A failure prints
        {"error": "..."} and exits with its status.

    --log FILE
        Write the diagnostic log of this run to FILE (created or truncated on connecting),
        which must be a regular file. The stored LogFile setting is left as it is. A log that
        cannot be opened stops the run before the command (exit 1); one that cannot be
        written to the end fails it (exit 1).

    -v, --verbose
        Show the diagnostic lines (filter changes, focuser moves, the ports tried) on
        standard error.

    --trace
        Show every byte sent to and received from the controller, with time stamps, on
        standard error: ">>" marks bytes sent, "<<" bytes received.

    -h, --help
        Show this manual.

    --version
        Show the version.

COMMANDS
    status
        Port, wheel and focuser presence, current filter, focuser position and direction of
        its last move, the temperatures and the compensation thermometer.

    filters
        The filter table: index, name, correction (wheel position) and focus shift (focuser
        position; "none" above 10000). The current filter is marked with "*".

    goto FILTER
        Turn the wheel to a filter, named by its index (0-based) or by its name (case does
        not matter, Cyrillic included).

    home
        Home the wheel.

    rename INDEX NAME
        Store a filter name in the controller: at most 8 characters of windows-1251 (Latin
        and Cyrillic letters, digits, punctuation); other characters and control characters
        are refused.

    filter-edit INDEX [--correction N] [--focus-shift N|none]
        Change the wheel position and/or focuser position of a row and write the filter
        table. A changed correction of the current filter sends the wheel there again.

    position
        Print the focuser position.

    move POSITION
        Move the focuser to an absolute position (-32768..32767) and wait for the end of the
        move.

    step N
        Move the focuser by N x MinMotorStep from where it is; N may be negative.

    sync POSITION
        Make the present focuser position count as POSITION; nothing moves.

    temps
        Read every thermometer the configuration counts; "---" for one without a reading.

    compensation [off|N]
        Show the thermometer (0..3) that drives the controller's temperature compensation,
        or choose one, or switch compensation off.

    config [FIELD[=VALUE]...]
        Show the configuration image by field name (all fields, or the fields named). With
        assignments, change only those fields, write the whole image and read it back.
        Fields: filterCount (1..10), wheelSpeed, wheelMotorOffWhenIdle, wheelStepMode,
        filterSensorSeesHome, powerOutputMode, focuserSpeed, focuserIdlePower,
        focuserStepMicrosteps, focuserBacklash, thermometerCount (0..8),
        thermoCompStepsPerDegree (-32768..32767), temperatureAveraging,
        directionChangeThreshold, maxStepsBetweenFilters. One-byte fields hold 0..255,
        two-byte fields 0..65535, unless given otherwise here.

    microsteps [V...]
        Show the focuser's microstep table; with values, send exactly microstepCount values
        of 0..255 and read the table back.

    save FILE
        Write a .fws settings file: the configuration image, port and focuser settings,
        filter change time limit and thermometer names.

    load FILE
        Send a .fws settings file to the controller and take over its settings. The file is
        checked before anything is sent: anything but a regular file, a file too short or
        too long, or one whose values no settings file holds (a filter count outside 1..10,
        a thermometer count above 8, a ComPort outside 0..16, ...) is refused with the
        reason (exit 2). Exit 1 when the controller does not take the image or the settings
        cannot be saved.

    log-temps [--count N]
        Append a row (time, temperatures, focuser position, filter) to the day's CSV file
        every 5 seconds, N times or until interrupted (Ctrl+C), and say where the file is.
        A row that cannot be written is reported on standard error; exit 1 when no row was
        written although one was tried.

    ports
        How COM1..COM16 map to devices on this machine, and which of them exist. Needs no
        controller.

    calibrate [LOG...] [--thermometer N] [--since DATE] [--plot FILE.svg] [--apply [--force]]
        Find the temperature-compensation coefficient thermoCompStepsPerDegree from the daily
        temperature logs: the logs named, or else those of the data folder from the last 30
        days (by the date in their names). --since YYYY-MM-DD reads the data folder from that
        day on instead, and leaves out named logs dated earlier. Needs no controller.
        --thermometer N (0..7) picks the log's column TN; default: the stored
        AscomPreferredTermometer. A log without that column adds nothing and is named.
        Focus points: a run of rows with the same filter and focuser position lasting at least
        a minute, begun by a refocus - the row before it, at most a minute earlier, has the
        same filter and another position. A position change within 15 s of a filter change is
        the filter's focus offset, not a refocus. The point is (median temperature of the
        run, position, filter). Rows without the temperature or position are skipped, as is
        an empty filter name inside a named filter's run (a failed wheel query); otherwise an
        empty name (no wheel) is a filter of its own. Malformed lines are counted and skipped;
        a run continues across them, and across midnight into the next day's log. A point
        found twice (two copies of a log) counts once; of more than 20000 points, the newest
        20000 are used. Logs are read as they stream by, whatever their size.
        The fit: one slope shared by all filters, each filter with its own offset. Points
        far from a robust (Theil-Sen) fit are rejected as outliers, and so is a point alone
        in its filter; least squares on the rest gives the slope and its 95 % interval, in
        steps/°C and, through StepLenInMicrons, in µm/°C. No coefficient with fewer than 4
        points or when no filter's points span 2 °C; the reason is given and the exit status
        is 1.
        Sign: the slope is d(position)/d(temperature) of the positions focused at. The
        controller moves the focuser by thermoCompStepsPerDegree steps per degree of warming,
        so the coefficient is the slope, rounded and kept within -1000..1000.
        Record calibration nights with compensation off: while it runs, the focuser follows
        the present coefficient, and its steps can pass for refocuses.
        --plot FILE.svg draws position against temperature, one colour per filter, with the
        fitted lines and the rejected points crossed; FILE must be a regular file, as for
        --log. --json lists every point. --apply then connects, writes the coefficient with
        the whole configuration image and reads it back, as config does. It refuses (exit 1,
        nothing sent) a slope beyond what the controller holds (-1000..1000), and one the data
        do not support: a 95 % interval wider than the slope itself. --force applies the
        latter anyway.

EXIT STATUS
    0   done
    1   the controller refused, answered wrongly or not in time; or the output, the log
        file or the settings could not be written; calibrate: no coefficient could be given
        (no logs, too few points, too narrow a span), --apply refused it, or the plot could
        not be written
    2   bad usage: one line saying what is wrong, then the usage, on standard error
    3   no controller found on the port or ports tried

ENVIRONMENT
    XDG_CONFIG_HOME   settings and port map below $XDG_CONFIG_HOME/kavri (default ~/.config)
    XDG_DATA_HOME     temperature logs below $XDG_DATA_HOME/kavri (default ~/.local/share)
    KAVRI_LOCK_DIR    folder of the serial ports' lock files (default /run/lock; empty: none)

FILES
    ~/.config/kavri/registry.reg    the program's settings (ComPort, LogFile, ...)
    ~/.config/kavri/ports/comN      symbolic link naming the device of COMN; without one,
                                    COM1-4 are /dev/ttyUSB0-3, COM5-8 /dev/ttyACM0-3 and
                                    COM9-16 /dev/ttyS0-7
    ~/.local/share/kavri/term_log_YYYY-MM-DD.csv   the daily temperature log

EXAMPLES
    kavrictl status
    kavrictl --port /dev/ttyUSB0 goto Red
    kavrictl move 12040 && kavrictl --json position
    kavrictl filter-edit 2 --correction 415 --focus-shift none
    kavrictl config focuserSpeed=250 focuserBacklash=20
    kavrictl log-temps --count 720
    kavrictl calibrate --since 2024-03-01 --plot focus.svg --apply
)";

}  // namespace kavri::cli
