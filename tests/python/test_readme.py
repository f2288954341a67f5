import re
import shutil


def test_readme_python_example_runs(source_dir, tmp_path, monkeypatch, capsys):
    readme = (source_dir / "README.md").read_text()
    code = re.search(r"## Python\n.*?```python\n(.*?)```", readme, re.S).group(1)
    shutil.copytree(source_dir / "samples", tmp_path / "samples")
    monkeypatch.chdir(tmp_path)
    exec(compile(code, "README.md", "exec"), {})
    out = capsys.readouterr().out
    assert "/105:1 100 True True" in out and "Oil Press" in out
    assert (tmp_path / "recording.png").stat().st_size > 1000
