import os
import pathlib
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
BATCH = os.environ.get("TABULOR_BATCH", str(ROOT / "build" / "tabulor-batch"))


def run_batch(*args, limit_kb=None):
    """tabulor-batch's exit status, values (floats, variable 0 fastest) and message."""
    cmd = [BATCH, *map(str, args)]
    if limit_kb:
        cmd = ["sh", "-c", 'ulimit -v %d; exec "$@"' % limit_kb, "sh", *cmd]
    p = subprocess.run(cmd, capture_output=True, text=True)
    values = [float(line.split("VALUE=")[1]) for line in p.stdout.splitlines() if "VALUE=" in line]
    return p.returncode, values, p.stderr.strip().removeprefix("tabulor-batch: ")


def run_python(code, limit_kb=None, **kw):
    """Runs code in a fresh interpreter with this build's module."""
    pre = "import resource; resource.setrlimit(resource.RLIMIT_AS, (%d, %d))\n" % ((limit_kb * 1024,) * 2) \
        if limit_kb else ""
    return subprocess.Popen([sys.executable, "-c", pre + code], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, **kw)


@pytest.fixture
def write_series(tmp_path):
    """Writes a series file: variables as (name, lower, upper, power, terms), coefficients 1, 2, 3, ..."""
    def write(variables, name="s.ser", coefficients=None):
        fields = [str(len(variables) - 1)]
        n = 1
        for (vname, lo, hi, power, terms) in variables:
            fields += [vname, repr(lo), repr(hi), "*", "#TRUE#" if power else "#FALSE#", "*", str(terms - 1)]
            n *= terms
        coefficients = coefficients if coefficients is not None else [str(i + 1) for i in range(n)]
        path = tmp_path / name
        path.write_text(",".join(fields) + "\n#TRUE#\n" + "\n".join(coefficients) + "\n")
        return path
    return write
