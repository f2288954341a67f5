"""The recording notebook of examples/python runs headless from top to bottom
against the installed package, and shows what it says it shows."""

import os

import pytest

nbclient = pytest.importorskip("nbclient")
nbformat = pytest.importorskip("nbformat")
pytest.importorskip("ipykernel")
pytest.importorskip("matplotlib")


def test_recording_notebook_runs(source_dir, sample_path, monkeypatch):
    folder = source_dir / "examples" / "python"
    notebook = nbformat.read(folder / "recording_tour.ipynb", as_version=4)
    monkeypatch.setenv("KESTRON4_SAMPLE", os.fspath(sample_path))
    # Figures inline, as in Jupyter, whatever backend the tests run with.
    monkeypatch.setenv("MPLBACKEND", "module://matplotlib_inline.backend_inline")
    nbclient.NotebookClient(notebook, timeout=300, kernel_name="python3",
                            resources={"metadata": {"path": os.fspath(folder)}}).execute()
    code = [cell for cell in notebook.cells if cell.cell_type == "code"]
    text = ["".join(o.get("text", "") + o.get("data", {}).get("text/plain", "")
                    for o in cell.outputs) for cell in code]
    assert all(not any(o.output_type == "error" for o in cell.outputs) for cell in code)
    assert "Oil Press" in text[2] and "Water NTC" in text[2]       # the channels and their tables
    assert "1998-06-05 14:15:30" in text[3]                          # the logger's clock
    images = sum("image/png" in o.get("data", {}) for cell in code for o in cell.outputs)
    assert images >= 3
    comparison = next(t for t in text if "difference" in t)
    mean_row = next(line for line in comparison.splitlines() if line.startswith("mean"))
    assert mean_row.split()[-1] == "5.0"                            # run 2 is run 1 plus 5
    exported = next(t for t in text if "Parquet:" in t)
    assert "run1_" in exported and "run1.mf4" in exported           # a CSV per rate, the MDF file
    assert "Oil Press" in exported and "NaN" not in exported        # on the raster, every row filled
