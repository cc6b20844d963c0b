#!/usr/bin/env python3
"""set_api_settings.py CONFIG KEY=JSON...: sets keys of the control API's settings in the
settings file, as the API settings page would store them (for example web_tls=false for a
test whose subject is not the transport)."""
import json
import sys

path = sys.argv[1]
with open(path) as file:
    settings = json.load(file)
for assignment in sys.argv[2:]:
    key, value = assignment.split("=", 1)
    settings.setdefault("api", {})[key] = json.loads(value)
with open(path, "w") as file:
    json.dump(settings, file)
