import os
from pathlib import Path

import pytest

SOURCE = Path(os.environ.get("KESTRON4_SOURCE_DIR", Path(__file__).resolve().parents[2]))


@pytest.fixture
def sample_path():
    return SOURCE / "samples" / "logger_data_v2.dat"


@pytest.fixture
def source_dir():
    return SOURCE
