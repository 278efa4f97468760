#!/usr/bin/env python3
# Checks translations/*.ts: up to date with src/ (as lupdate finds the texts), every text
# translated with its printf conversions and %N kept, the window's accelerators ("_X") unique.
import glob, os, re, shutil, subprocess, sys, tempfile, xml.etree.ElementTree as ET

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
files, faults = sorted(glob.glob(os.path.join(root, 'translations/*.ts'))), []
with tempfile.TemporaryDirectory() as tmp:
    copies = [shutil.copy(f, tmp) for f in files]
    subprocess.run([os.path.join(root, 'scripts/update-translations.sh')] + copies, check=True)
    faults += [f'{f}: not up to date with src/ (run scripts/update-translations.sh)'
               for f, c in zip(files, copies) if open(f, 'rb').read() != open(c, 'rb').read()]
conversions = re.compile(r'%(?:\d|[-+ #0]*\d*(?:\.\d+)?(?:l|ll|z)?[sdiufxc%])')
shape = lambda t: (sorted(c for c in conversions.findall(t) if c[1].isdigit()),  # %1 in any order
                   [c for c in conversions.findall(t) if not c[1].isdigit()])
for f in files:
    keys = set()
    for window, message in ((c.findtext('name') == 'Window', m)
                            for c in ET.parse(f).getroot().iter('context') for m in c.iter('message')):
        source, tr = message.findtext('source'), message.find('translation')
        where = f'{os.path.basename(f)}: {source!r}'
        if tr.get('type') or not tr.text:
            faults.append(f'{where}: not translated ({tr.get("type")})'); continue
        if shape(source) != shape(tr.text):
            faults.append(f'{where}: conversions differ in {tr.text!r}')
        marks = [m.lower() for m in re.findall(r'_(\w)', tr.text)]
        if window and re.search(r'_\w', source) and (len(marks) != 1 or marks[0] in keys):
            faults.append(f'{where}: accelerator of {tr.text!r} not one of its own')
        keys.update(marks if window else [])
sys.exit('\n'.join(faults) or None)
