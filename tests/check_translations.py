#!/usr/bin/env python3
"""Checks translations/*.ts: up to date with the texts in src/ (as lupdate finds them),
every text translated, printf conversions and %N markers kept, and the window's
button accelerators ("_X") one each and unique within each language."""
import os, re, shutil, subprocess, sys, tempfile
import xml.etree.ElementTree as ET

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
files = sorted(f for f in os.listdir(os.path.join(root, 'translations')) if f.endswith('.ts'))
faults = []
with tempfile.TemporaryDirectory() as tmp:
    copies = [shutil.copy(os.path.join(root, 'translations', f), tmp) for f in files]
    subprocess.run([os.path.join(root, 'scripts/update-translations.sh')] + copies, check=True)
    for f, copy in zip(files, copies):
        if open(copy, 'rb').read() != open(os.path.join(root, 'translations', f), 'rb').read():
            faults.append(f'{f}: not up to date with src/ (run scripts/update-translations.sh)')
conversions = re.compile(r'%(?:\d|[-+ #0]*\d*(?:\.\d+)?(?:l|ll|z)?[sdiufxc%])')
for f in files:
    keys = {}
    for context in ET.parse(os.path.join(root, 'translations', f)).getroot().iter('context'):
        name = context.findtext('name')
        for message in context.iter('message'):
            source, tr = message.findtext('source'), message.find('translation')
            where = f'{f}: {name}: {source!r}'
            if tr.get('type') or not tr.text:
                faults.append(f'{where}: not translated ({tr.get("type")})')
                continue
            if sorted(conversions.findall(source)) != sorted(conversions.findall(tr.text)) or (
                    '%s' in source and conversions.findall(source) != conversions.findall(tr.text)):
                faults.append(f'{where}: conversions differ in {tr.text!r}')
            if re.search(r'_\w', source):
                marks = re.findall(r'_(\w)', tr.text)
                if len(marks) != 1 or marks[0].lower() in keys:
                    faults.append(f'{where}: accelerator of {tr.text!r} not one of its own')
                keys.update({m.lower(): source for m in marks})
print('\n'.join(faults) or f'{len(files)} translations complete')
sys.exit(1 if faults else 0)
