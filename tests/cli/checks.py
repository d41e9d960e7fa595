"""What the converter's end-to-end scripts share: a tally of named checks, and a working
copy of the Visual FoxPro-made container from the corpus."""
import hashlib
import os
import shutil
import sys

failures = []
passed = 0


def check(name, condition, detail=""):
    """Counts a check; a failed one is printed with the end of `detail`."""
    global passed
    if condition:
        passed += 1
    else:
        failures.append(name)
        print("FAIL %s %s" % (name, str(detail)[-1500:]))


def finish():
    """Prints the tally and ends the script: status 1 when any check failed."""
    print("%d passed, %d failed" % (passed, len(failures)))
    sys.exit(1 if failures else 0)


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def copy_vfp_container(vfp_folder, work):
    """Copies the corpus folder into `work`/vfp, writable. Returns the copy's .dbc and the
    digest of every file that is not the container's own (.dbc, .dct, .dcx), which a
    conversion into it must leave as it was."""
    copy = os.path.join(work, "vfp")
    shutil.copytree(vfp_folder, copy)
    for n in os.listdir(copy):
        os.chmod(os.path.join(copy, n), 0o644)
    dbc = next(os.path.join(copy, n) for n in os.listdir(copy) if n.lower().endswith(".dbc"))
    untouched = {os.path.join(copy, n): digest(os.path.join(copy, n)) for n in os.listdir(copy)
                 if not n.lower().endswith((".dbc", ".dct", ".dcx"))}
    return dbc, untouched
