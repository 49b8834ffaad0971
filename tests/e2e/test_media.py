# SPDX-License-Identifier: Apache-2.0
"""The media module in the simulated camera: state script, whole logs, sections, groups."""
import re

import pytest

COMPONENTS = ["acodec", "adec", "aenc", "ai", "ao", "chnl", "h264e", "h265e", "isp", "ive", "jpege",
              "rc", "rgn", "sys", "vb", "vda", "venc", "vgs", "vi", "vo", "vpss"]

STARS = "*" * 80
USAGE = (STARS + "\nmedia usage:\ndebug -M media [option] \n"
         "-M  --module [module]\tmodule name: media\n"
         "-a  --all\t\tDisplay all information!\n"
         + "".join(f"    --{name}\t\tDisplay {name} information!\n" for name in [
             "acodec", "adec", "aenc", "ai", "ao", "audio", "chnl", "h264e", "h265e", "isp", "ive", "jpege",
             "rc", "rgn", "sys", "vb", "vda", "venc", "vgs", "vi", "vo", "vpss", "video"])
         + STARS + "\n")
UNKNOWN = r" ERROR  \(tq_media\|media_init_param\|\d+\): Unknow option\n"


def state(cam, component, text):
    """What the media driver shows for one component; av_log.sh copies it."""
    cam.write(f"/proc/media/{component}", text)


# Small logs with every marker, each section followed by more lines than it prints.
LOGS = {
    "sys": "head\nSystem State: 0\nafter\n",
    "vb": "x\nPoolId    PhysAddr    VirtAddr    IsComm    Owner\n  0 0x1\n  1 0x2\n",
    "vpss": "VPSS GRP WORK STATUS\ng1\ng2\ng3\nVPSS CHN OUTPUT RESOLUTION\nc1\nc2\nc3\nc4\n",
    "vi": "".join(f"-- {m} --\n{m} h\n{m} v\nextra\n" for m in [
        "VI DEV ATTR", "VI PHYCHN ATTR", "VI PHYCHN STATUS 1", "VI PHYCHN STATUS 2", "VI WDR ATTR",
        "VI WDR DES STATUS", "VI WDR SRC STATUS", "VI WDR COMBINE STATUS", "VI CHN STATUS"]),
    "venc": "VENC CHN ATTR 1\na1\na2\na3\na4\na5\na6\nVENC STREAM STATE\ns1\ns2\ns3\ns4\ns5\ns6\n",
    "rc": "RUN INFO0\nRUN INFO1\nr1\nr2\nr3\nr4\nr5\nr6\n",
    "rgn": "rgn whole\nlog\n",
    "acodec": "ACODEC PARAM\np1\np2\np3\n",
}
SECTIONS = {
    "sys": "[SYS]\nSystem State: 0\n\n",
    "vb": "[VB]\nPoolId    PhysAddr    VirtAddr    IsComm    Owner\n  0 0x1\n\n",
    "vpss": "[VPSS]\nVPSS GRP WORK STATUS\ng1\ng2\nVPSS CHN OUTPUT RESOLUTION\nc1\nc2\nc3\n\n",
    "vi": "[VI]\n" + "".join(f"-- {m} --\n{m} h\n{m} v\n" for m in [
        "VI DEV ATTR", "VI PHYCHN ATTR", "VI PHYCHN STATUS 1", "VI PHYCHN STATUS 2", "VI WDR ATTR",
        "VI WDR DES STATUS", "VI WDR SRC STATUS", "VI WDR COMBINE STATUS", "VI CHN STATUS"]) + "\n",
    "venc": "[VENC]\nVENC CHN ATTR 1\na1\na2\na3\na4\na5\nVENC STREAM STATE\ns1\ns2\ns3\ns4\ns5\n\n",
    "rc": "[RC]\nRUN INFO1\nr1\nr2\nr3\nr4\nr5\n\n",
}
VIDEO = "".join(SECTIONS[c] for c in ["sys", "vb", "vpss", "vi", "venc", "rc"])


@pytest.fixture
def small(cam):
    for component, text in LOGS.items():
        state(cam, component, text)
    return cam


def test_no_option_refreshes_every_log_and_prints_nothing(cam):
    r = cam.run("-M", "media")
    assert (r.out, r.err, r.rc) == ("", "", 0)
    for c in COMPONENTS:
        assert cam.read(f"/tmp/media/{c}.log") == cam.read(f"/proc/media/{c}"), c


@pytest.mark.parametrize("args, expected", [
    (["--video"], VIDEO),
    (["--vid"], VIDEO),
    (["--sys"], SECTIONS["sys"]),
    (["--vb"], SECTIONS["vb"]),
    (["--vpss"], SECTIONS["vpss"]),
    (["--vi"], SECTIONS["vi"]),
    (["--venc"], SECTIONS["venc"]),
    (["--rc"], SECTIONS["rc"]),
    (["--rgn"], LOGS["rgn"]),
    (["--acodec", "--acodec"], LOGS["acodec"] * 2),
    (["--rc", "--sys", "--rgn"], SECTIONS["rc"] + SECTIONS["sys"] + LOGS["rgn"]),
])
def test_options_act_in_command_line_order(small, args, expected):
    r = small.run("-M", "media", *args)
    assert (r.out, r.err, r.rc) == (expected, "", 0)


@pytest.mark.parametrize("component, log, args, expected", [
    # A missing marker consumes the rest of its log, so later sections are not found.
    ("vi", "VI DEV ATTR\nd1\nd2\nd3\nVI PHYCHN STATUS 1\ns1\ns2\nVI CHN STATUS\nc1\nc2\n", ["--vi"],
     "[VI]\nVI DEV ATTR\nd1\nd2\n\n"),
    ("sys", "no state here\n", ["--sys"], "\n"),
    ("sys", "", ["--sys"], "\n"),
    ("rc", "x\nRUN INFO1", ["--rc"], "[RC]\nRUN INFO1\n"),
    # Lines longer than the buffer arrive in 1023-character pieces, each a line of its own.
    ("sys", "a" * 1023 + "b" * 100 + "System State: 1" + "c" * 908 + "d" * 40 + "\n", ["--sys"],
     "[SYS]\n" + "b" * 100 + "System State: 1" + "c" * 908 + "\n"),
    ("vb", "PoolId    PhysAddr    VirtAddr    IsComm\n" + "e" * 1030 + "\n", ["--vb"],
     "[VB]\nPoolId    PhysAddr    VirtAddr    IsComm\n" + "e" * 1023 + "\n"),
])
def test_sections(small, component, log, args, expected):
    state(small, component, log)
    r = small.run("-M", "media", *args)
    assert (r.out, r.err, r.rc) == (expected, "", 0)


def test_all_is_video_then_audio_on_the_cameras_own_logs(cam):
    video, audio, everything = (cam.run("-M", "media", opt) for opt in ("--video", "--audio", "-a"))
    assert everything.rc == video.rc == audio.rc == 0
    assert everything.out == video.out + audio.out
    assert re.findall(r"^\[[A-Z ]+\]$", everything.out, re.M) == [
        "[SYS]", "[VB]", "[VPSS]", "[VI]", "[VENC]", "[RC]",
        "[ACODEC]", "[AO]", "[ADEC]", "[AI]", "[AENC]", "[AI VQE]", "[AO VQE]"]
    assert video.out.startswith("[SYS]\nSystem State: 0 (0: initialized; 1: exiting; 2: exited)\n\n[VB]\n")
    ao = cam.read("/proc/media/ao").splitlines(keepends=True)
    vqe = audio.out[audio.out.index("[AO VQE]\n") + len("[AO VQE]\n"):]
    starts = [i for i, line in enumerate(ao) if "AO CHN VQE STATUS" in line]
    assert len(starts) == 5
    assert vqe == "".join("".join(ao[i:i + 3]) for i in starts) + "\n"


def test_script_keeps_a_log_without_state_and_refreshes_one_with_state(cam):
    cam.path("/proc/media/rgn").unlink()
    cam.write("/tmp/media/rgn.log", "kept rgn\n")
    cam.write("/tmp/media/vo.log", "stale vo\n")
    state(cam, "vo", "fresh vo\n")
    r = cam.run("-M", "media", "--rgn", "--vo")
    assert (r.out, r.err, r.rc) == ("kept rgn\nfresh vo\n", "", 0)


@pytest.mark.parametrize("args, before, complaint", [
    (["--v"], "", "debug: option '--v' is ambiguous; possibilities: '--vb' '--vda' '--venc' '--vgs' '--vi'"
                  " '--vo' '--vpss' '--video'\n"),
    (["--nosuch"], "", "debug: unrecognized option '--nosuch'\n"),
    (["-x"], "", "debug: invalid option -- 'x'\n"),
    (["--rgn", "--bad", "--rgn"], LOGS["rgn"], "debug: unrecognized option '--bad'\n"),
])
def test_bad_option_prints_usage_and_ends_with_255(small, args, before, complaint):
    r = small.run("-M", "media", *args)
    assert r.rc == 255
    assert r.out == before + USAGE
    assert re.fullmatch(re.escape(complaint) + UNKNOWN, r.err), r.err


def test_help_shows_the_usage(cam):
    r = cam.run("-h", "media")
    assert (r.out, r.err, r.rc) == ("debug version: 1.2.0\n" + USAGE, "", 0)


@pytest.mark.parametrize("missing, args, expected", [
    ("vb", ["--video"], SECTIONS["sys"]),
    ("vb", ["--rgn", "--vb", "--rgn"], LOGS["rgn"]),
    ("sys", ["-a"], ""),
    ("ao", ["--acodec", "--audio"], LOGS["acodec"] + "[ACODEC]\nACODEC PARAM\np1\np2\n\n"),
])
# A log that is a directory cannot be read either: it is no empty log.
@pytest.mark.parametrize("directory, error", [(False, "No such file or directory"), (True, "Is a directory")])
def test_missing_log_ends_the_process(small, missing, args, expected, directory, error):
    small.path(f"/proc/media/{missing}").unlink()
    if directory:
        small.path(f"/tmp/media/{missing}.log").mkdir(parents=True)
    r = small.run("-M", "media", *args)
    assert (r.out, r.err, r.rc) == (expected, f"fopen: {error}\n", 255)
