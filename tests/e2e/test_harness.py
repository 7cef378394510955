"""The harness itself: the stand-in client runs and records its start on both platforms."""
import shutil


def test_stand_in_client_records_its_start(platform, folder):
    client = folder / "client.exe"
    shutil.copy(platform.client, client)

    result = platform.run(folder, client, "--first", "two words")

    assert result.code == 0, result
    assert "stand-in client started" in result.out
    record = (folder / "client_started.txt").read_text()
    assert "with 2 argument(s): [--first] [two words]" in record
    assert str(folder.name) in record
