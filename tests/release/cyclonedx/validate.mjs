// node validate.mjs <bom.cdx.json>...: validates each document against the
// CycloneDX 1.5 JSON schema as the CycloneDX library ships it, strictly
// (formats checked, no property the schema does not know). Prints what is
// wrong and exits 1 when any is invalid.
import { readFile } from 'node:fs/promises'
import { Validation } from '@cyclonedx/cyclonedx-library'

// The library's version names are these strings ('1.5' is its v1dot5).
const validator = new Validation.JsonStrictValidator('1.5')
let invalid = 0
for (const path of process.argv.slice(2)) {
  const errors = await validator.validate(await readFile(path, 'utf8'))
  if (errors === null) {
    console.log(`${path}: valid CycloneDX 1.5`)
  } else {
    invalid++
    console.log(`${path}: INVALID: ${JSON.stringify(errors, null, 2)}`)
  }
}
process.exit(invalid === 0 && process.argv.length > 2 ? 0 : 1)
