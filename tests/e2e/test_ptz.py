# SPDX-License-Identifier: Apache-2.0
"""The PTZ module against the simulated head on /dev/ttyAMA1: the frames on the wire,
what the head did, the whole output, and how quickly Ctrl-C ends a wait."""
import re
import shlex

import pytest

STARS = "*" * 80
WORDS = [("up", "PTZ run top"), ("upleft", "PTZ run top left"), ("upright", "PTZ run top right"),
         ("down", "PTZ run bottom "), ("downleft", "PTZ run bottom left"),
         ("downright", "PTZ run bottom right"), ("auto", "PTZ run auto scanning"),
         ("stop", "PTZ stop running all"), ("zoomin", "PTZ run zoom in"), ("zoomout", "PTZ run zoom out"),
         ("irisin", "PTZ run iris in"), ("irisout", "PTZ run iris out"), ("focusin", "PTZ run focus in"),
         ("focusout", "PTZ run focus out"), ("autofocus", "PTZ run auto focus"),
         ("rstfocus", "PTZ run reset focus"), ("lightoff", "PTZ run light off"),
         ("lighton", "PTZ run light on"), ("brushoff", "PTZ run brush off"), ("brushon", "PTZ run brush on")]
USAGE = (STARS + "\nptz usage:\ndebug -M ptz [option] \n"
         "-M  --module [module]\tmodule name: ptz\n"
         "-d  --delay [digit]\tSet ptz run delay [n]s, default [5]s\n"
         "-S  --speed [digit]\tSet ptz speed percentage[0 - 100] default 50\n"
         "-B  --baudrate [digit]\tSet rs485 baudrate default[9600] [2400 4800 9600 19200]\n"
         "-P  --protocol [digit]\tSet ptz protocol default[0], 0: PELCO_D, 1: PELCO_P\n"
         "-s  --spreset [digit]\tSet ptz preset position\n"
         "-c  --cpreset [digit]\tClean ptz preset position\n"
         "-g  --gpreset [digit]\tGoto ptz preset position\n"
         "-t  --testall\t\tPTZ test all function, default will test all\n" +
         "".join(f"    --{word}\t\t{text}\n" for word, text in WORDS) + STARS + "\n")
SIGNAL = "\nGet signal, signo = 2\n"


def run_with_head(cam, args, interrupt_after_frames=None, pause=0.3):
    """debug -M ptz ARGS with the head listening; with interrupt_after_frames, Ctrl-C
    once that many frames arrived and a pause passed. Returns the result, the frames
    as hex, what the head said, and the seconds from the signal to the exit."""
    line = " ".join(shlex.quote(a) for a in ["debug", "-M", "ptz", *args])
    script = ("ptz-head --hex /tmp/ptz.hex >/tmp/ptz.log 2>/dev/null & head=$!\n"
              "for i in $(seq 250); do [ -e /dev/ttyAMA1 ] && break; sleep 0.02; done\n"
              f"{line} & pid=$!\n")
    if interrupt_after_frames is not None:
        script += (f"for i in $(seq 250); do [ $(cat /tmp/ptz.hex 2>/dev/null | wc -l) -ge {interrupt_after_frames} ]"
                   " && break; sleep 0.02; done\n"
                   f"sleep {pause}; lap; kill -INT $pid\n")
    script += "wait $pid; rc=$?; lap\n"
    script += "kill $head; wait $head; exit $rc\n"
    r, laps = cam.timed(script)
    frames = cam.read("/tmp/ptz.hex").splitlines() if cam.path("/tmp/ptz.hex").exists() else []
    said = cam.read("/tmp/ptz.log").splitlines()
    return r, frames, said, laps[0] if laps else None


@pytest.mark.parametrize("args, frames, said", [
    (["--zoomin"], ["FF 01 00 20 00 00 21"], ["zoom in"]),
    (["--up", "--stop"], ["FF 01 00 00 00 00 01"], ["stop"]),
    (["--stop", "--upleft"], ["FF 01 00 0C 26 26 59"], ["pan left at speed 38, tilt up at speed 38"]),
    (["--rstfocus"], ["FF 01 00 2B 00 01 2D", "FF 01 00 2B 00 00 2C"], ["auto focus off", "auto focus on"]),
    (["--focusout"], ["FF 01 00 80 00 00 81"], ["focus far"]),
    (["-s", "3", "-c", "0x104", "-g", "010", "--auto"],
     ["FF 01 00 03 00 03 07", "FF 01 00 05 00 04 0A", "FF 01 00 07 00 08 10", "FF 01 00 07 00 63 6B"],
     ["set preset 3", "clear preset 4", "go to preset 8", "go to preset 99 (auto scan)"]),
    (["-S", "9", "-B", "19200", "-P", "1", "--downleft"], ["FF 01 00 14 26 26 61"],
     ["pan left at speed 38, tilt down at speed 38"]),
    (["--brushon", "-t"], ["FF 01 00 08 26 26 55"], ["tilt up at speed 38"]),
    ([], ["FF 01 00 08 26 26 55"], ["tilt up at speed 38"]),
    (["-g", "3"], ["FF 01 00 07 00 03 0B", "FF 01 00 08 26 26 55"], ["go to preset 3", "tilt up at speed 38"]),
])
def test_command_runs_until_ctrl_c(cam, args, frames, said):
    r, sent, heard, stop_seconds = run_with_head(cam, args, interrupt_after_frames=len(frames))
    assert (r.out, r.err, r.rc) == (SIGNAL, "", 0)
    assert (sent, heard) == (frames, said)
    # A wait of 50 s that the signal does not end would take most of it.
    assert stop_seconds < 3


@pytest.mark.uptime_lead(1.5)  # the head and the program start first
def test_delay_option_leaves_the_wait_at_fifty_seconds(cam, uptime):
    r, sent, _, stop_seconds = run_with_head(cam, ["-d", "1", "--lighton"], interrupt_after_frames=1, pause=2)
    assert (r.out, r.err, r.rc) == (SIGNAL, "", 0), "still waiting after 2 s"
    assert sent == ["FF 01 00 09 00 01 0B"]
    assert stop_seconds < 3


def error(message):
    return r" ERROR  \(tq_ptz\|ptz_init_param\|\d+\): " + re.escape(message)


@pytest.mark.parametrize("args, err, frames", [
    (["-S", "10"], error("Error speed!\r\n"), []),
    (["-S", "-1"], error("Error speed!\r\n"), []),
    (["-B", "38400"], error("Error baudrate!\r\n"), []),
    (["-P", "2"], error("Error procotol\r\n"), []),
    (["--nosuch"], r"debug: unrecognized option '--nosuch'\n" + error("Unknow option\n"), []),
    (["-g"], r"debug: option requires an argument -- 'g'\n" + error("Unknow option\n"), []),
    (["-s", "3", "--zoomin", "-B", "38400"], error("Error baudrate!\r\n"), ["FF 01 00 03 00 03 07"]),
])
def test_rejected_option_prints_usage_and_runs_nothing_more(cam, args, err, frames):
    r, sent, _, _ = run_with_head(cam, args)
    assert (r.out, r.rc) == (USAGE, 255)
    assert re.fullmatch(err, r.err), r.err
    assert sent == frames
